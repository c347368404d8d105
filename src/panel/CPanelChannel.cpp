#include "panel/CPanelChannel.h"

#include "library/CDoubleFormat.h"
#include "panel/PanelLog.h"

#include <muParser.h>

#include <cmath>

namespace {

// The buffer index of a formula argument, or -1 outside 0..255 (NaN included).
int Index(double x)
{
    const double n = std::floor(x);
    return (n >= 0.0 && n <= 255.0) ? static_cast<int>(n) : -1;
}

mu::value_type CellFunction(void* data, mu::value_type x)
{
    return CPanelChannel::Cell(*static_cast<const CPanelChannel::Buffer*>(data), x);
}

mu::value_type CellWordFunction(void* data, mu::value_type low, mu::value_type high)
{
    return CPanelChannel::CellWord(*static_cast<const CPanelChannel::Buffer*>(data), low, high);
}

const QString kDefaultFormat = QStringLiteral("%f");

} // namespace

double CPanelChannel::Cell(const Buffer& buffer, double index)
{
    const int i = Index(index);
    return i < 0 ? 0.0 : buffer[static_cast<size_t>(i)];
}

double CPanelChannel::CellWord(const Buffer& buffer, double low, double high)
{
    const int lo = Index(low);
    const int hi = Index(high);
    if (lo < 0 || hi < 0)
        return 0.0;
    return buffer[static_cast<size_t>(lo)] + 256.0 * buffer[static_cast<size_t>(hi)];
}

CPanelChannel::CPanelChannel(QString tag, const QString& formula, const QString& format, const Buffer& buffer)
    : m_tag(std::move(tag))
    , m_formula(formula)
    , m_parser(std::make_unique<mu::Parser>())
{
    // The format is kept to its 31 characters; one that is not a safe format
    // for a single double is replaced by the default rather than handed to
    // printf.
    m_format = format.left(kMaxFormatLength);
    if (!CDoubleFormat::IsValid(m_format)) {
        qCDebug(lcPanel).noquote() << QStringLiteral("Panel channel %1: format \"%2\" refused, \"%f\" used")
                                          .arg(m_tag, m_format);
        m_format = kDefaultFormat;
    }
    // The buffer changes with every record, so calls of cell and cellw are
    // never folded into constants.
    auto* data = const_cast<Buffer*>(&buffer);
    m_parser->DefineFunUserData("cell", CellFunction, data, false);
    m_parser->DefineFunUserData("cellw", CellWordFunction, data, false);
    try {
        m_parser->SetExpr(m_formula.toStdString());
        m_compiled = true;
    } catch (const mu::ParserError& e) {
        qCDebug(lcPanel).noquote() << QStringLiteral("Panel channel %1: formula \"%2\" refused: %3")
                                          .arg(m_tag, m_formula, QString::fromStdString(e.GetMsg()));
    }
}

CPanelChannel::~CPanelChannel() = default;

std::optional<double> CPanelChannel::Evaluate() const
{
    if (!m_compiled)
        return std::nullopt;
    try {
        return m_parser->Eval();
    } catch (const mu::ParserError& e) {
        qCDebug(lcPanel).noquote() << QStringLiteral("Panel channel %1: formula \"%2\" failed: %3")
                                          .arg(m_tag, m_formula, QString::fromStdString(e.GetMsg()));
        return std::nullopt;
    }
}

std::optional<QString> CPanelChannel::Update()
{
    const std::optional<double> value = Evaluate();
    if (!value)
        return std::nullopt;
    const std::optional<QString> text = CDoubleFormat::Format(m_format, *value);
    if (!text)
        return std::nullopt;
    m_text = text->left(kMaxTextLength);
    return m_text;
}
