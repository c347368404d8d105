#pragma once

#include "library/CProperty.h"

#include <memory>
#include <vector>

// A category row. While collapsed it holds the rows of its category (the
// list moves them in and out) and destroys them with itself.
class CCategoryProperty : public CProperty {
public:
    explicit CCategoryProperty(const QString& label);

    uint8_t Kind() const override { return KindCategory; }

    bool IsCollapsed() const { return m_collapsed; }
    // Takes the rows of the category and becomes collapsed.
    void Hold(std::vector<std::unique_ptr<IProperty>> rows);
    // Gives the held rows back and becomes expanded.
    std::vector<std::unique_ptr<IProperty>> Release();
    const std::vector<std::unique_ptr<IProperty>>& Held() const { return m_held; }

private:
    bool m_collapsed = false;
    std::vector<std::unique_ptr<IProperty>> m_held;
};
