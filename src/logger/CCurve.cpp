#include "logger/CCurve.h"

#include <QCoreApplication>

#include "library/CXmlAttributes.h"

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("CCurve", text);
}

bool Fail(QString* error, const QString& text)
{
    if (error != nullptr)
        *error = text;
    return false;
}
}

std::vector<pugi::xml_node> CCurve::Elements(const pugi::xml_node& esc)
{
    std::vector<pugi::xml_node> elements;
    if (!esc)
        return elements;
    static const pugi::xpath_query query(".//Curves/Curve");
    for (const pugi::xpath_node& found : query.evaluate_node_set(esc))
        elements.push_back(found.node());
    return elements;
}

std::optional<CCurve> CCurve::FromElement(const pugi::xml_node& element, QString* error)
{
    const std::optional<QString> name = CXmlAttributes::Text(element, "name");
    const std::optional<int> start = CXmlAttributes::Int(element, "start");
    const std::optional<int> length = CXmlAttributes::Int(element, "length");
    if (!name || !start || !length) {
        Fail(error, tr("the curve lacks its name, start or length"));
        return std::nullopt;
    }
    if (*start < 0 || *start >= kCells) {
        Fail(error, tr("curve \"%1\": start %2 is not a cell (0 .. 255)").arg(*name).arg(*start));
        return std::nullopt;
    }
    if (*length < 1 || *length > kCells) {
        Fail(error, tr("curve \"%1\": length %2 does not fit the 256 cells").arg(*name).arg(*length));
        return std::nullopt;
    }
    return CCurve(*name, *start, *length);
}

std::vector<CFileParameters::NamedCell> CCurve::PointCells(const pugi::xml_node& esc)
{
    std::vector<CFileParameters::NamedCell> cells;
    for (const pugi::xml_node& element : Elements(esc)) {
        const std::optional<CCurve> curve = FromElement(element);
        for (int i = 0; curve && i < curve->Length(); ++i)
            cells.push_back({curve->Cell(i), tr("%1 point %2 (cell %3)").arg(curve->Name()).arg(i + 1).arg(curve->Cell(i))});
    }
    return cells;
}

CCurve::CCurve(QString name, int start, int length) : m_name(std::move(name)), m_start(start), m_length(length) {}

std::optional<QString> CCurve::Refusal(const std::vector<int>& values, const std::vector<uint8_t>& read) const
{
    if (static_cast<int>(values.size()) != m_length)
        return tr("%1 has %2 points, %3 values given").arg(m_name).arg(m_length).arg(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] < kMinValue || values[i] > kMaxValue)
            return tr("point %1: %2 is outside %3 .. %4").arg(i + 1).arg(values[i]).arg(kMinValue).arg(kMaxValue);
    }
    if (EndsFixed() && static_cast<int>(read.size()) == m_length) {
        const std::size_t last = values.size() - 1;
        for (std::size_t i : {std::size_t{0}, last}) {
            if (values[i] != read[i])
                return tr("point %1 is a fixed end of %2 and stays %3").arg(i + 1).arg(m_name).arg(read[i]);
        }
    }
    return std::nullopt;
}
