#include "logger/AnyData.h"

#include "library/CXmlAttributes.h"
#include "logger/CLogFormulaContext.h"
#include "logger/LoggerLog.h"
#include "logger/LoggerPage.h"

#include <muParser.h>

#include <cmath>

namespace {
// The code the formula engine gives an error raised with a message alone.
int GenericErrorCode()
{
    static const int code = mu::ParserError(std::string("generic")).GetCode();
    return code;
}
}

AnyData::~AnyData() = default;

std::shared_ptr<AnyData> AnyData::Create(const pugi::xml_node& channel, CLogFormulaContext& context,
                                         std::optional<SetupError>& error)
{
    error.reset();
    const pugi::xml_attribute label = channel.attribute("label");
    const pugi::xml_attribute formula = channel.attribute("formula");
    if (!label || !formula) {
        error = SetupError{false, QString::fromUtf8(label.value()), QString(),
                           label ? QStringLiteral("formula") : QStringLiteral("label")};
        return nullptr;
    }

    std::shared_ptr<AnyData> data(new AnyData);
    data->m_channel = channel;
    const std::optional<int> tag = CXmlAttributes::Int(channel, "tag");
    data->m_tag = tag.value_or(0);
    data->m_slots = LoggerPage::SlotCountOfTag(static_cast<uint32_t>(data->m_tag));
    // A tag without a set bit in its low 16 bits reads no slot: it is a
    // computed channel, so that the slot count rule never meets a zero.
    data->m_tagged = data->m_slots > 0;
    data->m_label = QString::fromUtf8(label.value());
    data->m_formula = QString::fromUtf8(formula.value());
    data->m_varName = QString::fromUtf8(channel.attribute("var").value());

    data->m_parser = std::make_unique<mu::Parser>();
    try {
        context.Install(*data->m_parser);
        if (data->m_tagged) {
            data->m_parser->DefineVar("w0", &data->m_w0);
            data->m_parser->DefineVar("w1", &data->m_w1);
        }
        data->m_parser->SetExpr(formula.value());
        data->m_parser->GetUsedVar();
    } catch (const mu::ParserError& e) {
        error = SetupError{e.GetCode() == GenericErrorCode(), QString::fromStdString(e.GetMsg()),
                           QString::fromStdString(e.GetExpr()).trimmed(), QString()};
        if (error->expression.isEmpty())
            error->expression = data->m_formula;
        return nullptr;
    }
    if (!data->m_varName.isEmpty()) {
        data->m_var = context.Variable(data->m_varName.toStdString());
        *data->m_var = 0;
    }
    return data;
}

double AnyData::Evaluate(const uint8_t* group)
{
    if (group != nullptr) {
        m_w0 = LoggerPage::EvenSlot(group);
        m_w1 = LoggerPage::OddSlot(group);
    }
    double value = 0;
    try {
        value = m_parser->Eval();
    } catch (const mu::ParserError& e) {
        qCDebug(lcLogger).noquote() << QString::asprintf(
            "Exception \"%s\" during evaluating channel %s using formula \"%s\" with w0=%d w1=%d\r\n",
            e.GetMsg().c_str(), m_label.toUtf8().constData(), m_formula.toUtf8().constData(),
            static_cast<int>(m_w0), static_cast<int>(m_w1));
        value = 0;
    }
    // NaN (0/0) is taken as 0 like an out-of-range value, so that later
    // channels and the chart never meet it.
    if (value > kValueLimit || value < -kValueLimit || std::isnan(value))
        value = 0;
    if (m_var != nullptr)
        *m_var = value;
    return value;
}
