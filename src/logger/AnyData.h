#pragma once

#include "logger/DataChunkProcessor.h"

#include <QString>
#include <pugixml.hpp>

#include <memory>
#include <optional>

namespace mu {
class Parser;
}
class CLogFormulaContext;

// A log channel described by a Channel element of the device library: its
// formula, compiled once into the formula engine's bytecode, reads the
// 12-bit slots as w0 and w1, the snapshot through cell and cellw, and the
// shared variables; with a var name its value is stored back for the
// channels that follow.
class AnyData : public DataChunkProcessor {
public:
    // Values beyond this are taken as 0 (a division by a zero cell, say).
    static constexpr double kValueLimit = 1e10;

    struct SetupError {
        bool generic = false;  // raised by a message alone (cell, cellw)
        QString text;
        QString expression;
        QString missing;       // "label" or "formula" when the element lacks it (text: the label)
    };

    // Sets the channel up. Null with the error for a channel without label
    // or formula and for a formula that does not compile.
    static std::shared_ptr<AnyData> Create(const pugi::xml_node& channel, CLogFormulaContext& context,
                                           std::optional<SetupError>& error);
    ~AnyData() override;
    AnyData(const AnyData&) = delete;
    AnyData& operator=(const AnyData&) = delete;

    double Evaluate(const uint8_t* group) override;
    int SlotCount() const override { return m_slots; }

    pugi::xml_node Channel() const { return m_channel; }
    const QString& Label() const { return m_label; }

private:
    AnyData() = default;

    pugi::xml_node m_channel;
    int m_tag = 0;
    bool m_tagged = false;
    int m_slots = 0;
    QString m_label;
    QString m_formula;
    QString m_varName;
    std::unique_ptr<mu::Parser> m_parser;
    double m_w0 = 0;
    double m_w1 = 0;
    double* m_var = nullptr;
};
