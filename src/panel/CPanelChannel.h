#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace mu {
class Parser;
}

// One live value of the measurement panel: a Parameter element of the ESC
// element with a panel_tag. Its formula is evaluated with the functions
//   cell(i)        the byte at floor(i) of the evaluation buffer, 0 outside 0..255
//   cellw(lo, hi)  byte[floor(lo)] + 256 * byte[floor(hi)], 0 when either is outside
// over the panel's 256-byte evaluation buffer (no variables), and the result
// is formatted with the element's printf format for one double.
class CPanelChannel {
public:
    static constexpr int kMaxFormatLength = 31;
    static constexpr int kMaxTextLength = 31;

    using Buffer = std::array<uint8_t, 256>;

    // buffer must outlive the channel.
    CPanelChannel(QString tag, const QString& formula, const QString& format, const Buffer& buffer);
    ~CPanelChannel();
    CPanelChannel(const CPanelChannel&) = delete;
    CPanelChannel& operator=(const CPanelChannel&) = delete;

    const QString& Tag() const { return m_tag; }
    const QString& Format() const { return m_format; }
    // The text of the last successful update; empty before the first.
    const QString& Text() const { return m_text; }

    // The formula over the buffer as it is now; nullopt when it fails.
    std::optional<double> Evaluate() const;
    // Evaluates and formats; on success the text is replaced and returned,
    // on failure the text stays as it was and nullopt is returned.
    std::optional<QString> Update();

    // The functions over any buffer (for tests of the rules).
    static double Cell(const Buffer& buffer, double index);
    static double CellWord(const Buffer& buffer, double low, double high);

private:
    QString m_tag;
    QString m_formula;
    QString m_format;
    QString m_text;
    std::unique_ptr<mu::Parser> m_parser;
    bool m_compiled = false;
};
