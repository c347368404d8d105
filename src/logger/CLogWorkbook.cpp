#include "logger/CLogWorkbook.h"

#include "base/CAtomicFile.h"
#include "library/CXmlAttributes.h"
#include "logger/LoggerPage.h"

#include <QRegularExpression>

#include <bitset>
#include <cmath>

namespace {

const char* const kTemplate = R"(<?xml version="1.0"?>
<?mso-application progid="Excel.Sheet"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet"
 xmlns:o="urn:schemas-microsoft-com:office:office"
 xmlns:x="urn:schemas-microsoft-com:office:excel"
 xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet"
 xmlns:html="http://www.w3.org/TR/REC-html40">
 <Styles>
  <Style ss:ID="Default" ss:Name="Normal">
   <Alignment ss:Vertical="Bottom"/>
   <Borders/>
   <Font/>
   <Interior/>
   <NumberFormat/>
   <Protection/>
  </Style>
  <Style ss:ID="s21">
   <Interior ss:Color="#FFFF00" ss:Pattern="Solid"/>
  </Style>
  <Style ss:ID="s22">
   <Interior ss:Color="#00FF00" ss:Pattern="Solid"/>
  </Style>
  <Style ss:ID="s23">
   <Interior ss:Color="#99CCFF" ss:Pattern="Solid"/>
  </Style>
 </Styles>
</Workbook>
)";

const char* const kExcelNamespace = "urn:schemas-microsoft-com:office:excel";

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

pugi::xml_node TextCell(pugi::xml_node row, const QString& text, const char* style = nullptr)
{
    pugi::xml_node cell = row.append_child("Cell");
    if (style != nullptr)
        cell.append_attribute("ss:StyleID") = style;
    pugi::xml_node data = cell.append_child("Data");
    data.append_attribute("ss:Type") = "String";
    data.text().set(Utf8(text).c_str());
    return cell;
}

pugi::xml_node NumberCell(pugi::xml_node row, const char* number)
{
    pugi::xml_node cell = row.append_child("Cell");
    pugi::xml_node data = cell.append_child("Data");
    data.append_attribute("ss:Type") = "Number";
    data.text().set(number);
    return cell;
}

pugi::xml_node IntCell(pugi::xml_node row, long long value)
{
    return NumberCell(row, std::to_string(value).c_str());
}

pugi::xml_node RealCell(pugi::xml_node row, double value)
{
    return NumberCell(row, QString::asprintf("%f", value).toLatin1().constData());
}

void EmptyCell(pugi::xml_node row)
{
    row.append_child("Cell");
}

void AddOptions(pugi::xml_node worksheet)
{
    worksheet.append_child("WorksheetOptions").append_attribute("xmlns") = kExcelNamespace;
}

// The decoded value of one snapshot byte for its parameter's type.
void DecodedCell(pugi::xml_node row, const pugi::xml_node& parameter, int b)
{
    const QString type = QString::fromUtf8(parameter.attribute("type").value());
    if (type == QLatin1String("check")) {
        TextCell(row, b != 0 ? QStringLiteral("On") : QStringLiteral("Off"));
    } else if (type == QLatin1String("list")) {
        const pugi::xml_node value =
            parameter.select_node(QStringLiteral("Value[@val=\"%1\"]").arg(b).toUtf8().constData()).node();
        TextCell(row, value ? QString::fromUtf8(value.attribute("string").value()) : QStringLiteral("!Err"));
    } else if (type == QLatin1String("range")) {
        const double scale = CXmlAttributes::Real(parameter, "scale", 1.0);
        const double offset = CXmlAttributes::Real(parameter, "offset", 0.0);
        const double step = CXmlAttributes::Real(parameter, "step", 1.0);
        double shown = std::floor(b / scale + offset + 0.5) * step;
        if (const std::optional<double> min = CXmlAttributes::Real(parameter, "min"); min && shown < *min)
            shown = *min;
        if (const std::optional<double> max = CXmlAttributes::Real(parameter, "max"); max && shown > *max)
            shown = *max;
        // A scale of 0 in the library would print "inf", which no
        // spreadsheet reads as a number.
        if (std::isfinite(shown))
            RealCell(row, shown);
        else
            TextCell(row, QStringLiteral("!Err"));
    } else {
        TextCell(row, type);
    }
}

void BuildIni(pugi::xml_node table, const pugi::xml_node& esc, const std::vector<uint8_t>& snapshot)
{
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        pugi::xml_node row = table.append_child("Row");
        const pugi::xml_node parameter =
            esc ? esc.select_node(QStringLiteral("Parameter[@cell=\"%1\"]").arg(i).toUtf8().constData()).node()
                : pugi::xml_node();
        if (parameter)
            TextCell(row, QString::fromUtf8(parameter.attribute("name").value()), "s22");
        else
            TextCell(row, QStringLiteral("Cell %1").arg(i), "s21");
        pugi::xml_node value = IntCell(row, snapshot[i]);
        value.append_child("NamedCell").append_attribute("ss:Name") = QStringLiteral("Cell_%1").arg(i).toUtf8().constData();
        if (parameter && parameter.attribute("type"))
            DecodedCell(row, parameter, snapshot[i]);
    }
    for (pugi::xml_node parameter = esc.child("Parameter"); parameter; parameter = parameter.next_sibling("Parameter")) {
        if (parameter.attribute("cell"))
            continue;
        pugi::xml_node row = table.append_child("Row");
        TextCell(row, QString::fromUtf8(parameter.attribute("name").value()), "s23");
        if (!parameter.attribute("formula"))
            continue;
        const std::optional<QString> formula =
            CLogWorkbook::ConvertFormula(QString::fromUtf8(parameter.attribute("formula").value()), snapshot.size());
        if (formula)
            row.append_child("Cell").append_attribute("ss:Formula") = Utf8(*formula).c_str();
    }
}

// The slot values of one group: two per 3-byte triple.
void SlotCells(pugi::xml_node row, const uint8_t* group, int slotCount)
{
    for (int triple = 0; triple < (slotCount - 1) / 2 + 1; ++triple) {
        const uint8_t* b = group + triple * 3;
        IntCell(row, b[0] * 16 + (b[1] >> 4));
        IntCell(row, (b[1] & 15) * 256 + b[2]);
    }
}

void BuildLog(pugi::xml_node table, const uint8_t* pages, std::size_t pageCount)
{
    pugi::xml_node head = table.append_child("Row");
    for (const char* title : {"page", "log #", "chan map", "chan #", "dt", "slot #", "t"})
        TextCell(head, QString::fromLatin1(title));
    double t = 0.0;
    for (std::size_t k = 0; pages != nullptr && k < pageCount; ++k) {
        const uint8_t* page = pages + k * LoggerPage::kSize;
        const uint16_t mask = LoggerPage::Mask(page);
        const int slotCount = static_cast<int>(std::bitset<16>(mask).count());
        const std::size_t group = LoggerPage::GroupSize(slotCount);
        const std::size_t groups = LoggerPage::GroupsPerPage(slotCount);
        const double dt = LoggerPage::Period(page) / 50.0;
        pugi::xml_node row = table.append_child("Row");
        IntCell(row, static_cast<long long>(k));
        IntCell(row, LoggerPage::LogNumber(page));
        IntCell(row, mask);
        IntCell(row, slotCount);
        RealCell(row, dt);
        IntCell(row, 0);
        RealCell(row, t);
        // A page whose mask records nothing has no groups: its first row
        // stands alone.
        if (groups == 0)
            continue;
        SlotCells(row, page + LoggerPage::kHeaderSize, slotCount);
        for (std::size_t g = 1; g < groups; ++g) {
            row = table.append_child("Row");
            for (int i = 0; i < 5; ++i)
                EmptyCell(row);
            IntCell(row, static_cast<long long>(g));
            t += dt;
            RealCell(row, t);
            SlotCells(row, page + LoggerPage::kHeaderSize + g * group, slotCount);
        }
    }
}

// Replaces every match from the last one backwards; false when the
// replacement function refuses one.
template <typename Replace>
bool ReplaceAll(QString& text, const QRegularExpression& pattern, Replace replace)
{
    std::vector<QRegularExpressionMatch> matches;
    for (auto it = pattern.globalMatch(text); it.hasNext();)
        matches.push_back(it.next());
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
        std::optional<QString> by = replace(*it);
        if (!by)
            return false;
        text.replace(it->capturedStart(), it->capturedLength(), *by);
    }
    return true;
}

std::optional<std::size_t> CellIndex(const QString& digits, std::size_t cellCount)
{
    bool ok = false;
    const qulonglong n = digits.toULongLong(&ok);
    if (!ok || n >= cellCount)
        return std::nullopt;
    return static_cast<std::size_t>(n);
}

} // namespace

std::optional<QString> CLogWorkbook::ConvertFormula(const QString& formula, std::size_t cellCount)
{
    static const QRegularExpression cellPattern(QStringLiteral(R"(cell\((\d+)[ \t]*\))"),
                                                QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression cellwPattern(
        QStringLiteral(R"(cellw\([ \t]*(\d+)[ \t]*,[ \t]*(\d+)[ \t]*\))"), QRegularExpression::CaseInsensitiveOption);
    QString text = QStringLiteral("=") + formula;
    const bool cells = ReplaceAll(text, cellPattern, [cellCount](const QRegularExpressionMatch& m) -> std::optional<QString> {
        const std::optional<std::size_t> n = CellIndex(m.captured(1), cellCount);
        if (!n)
            return std::nullopt;
        return QStringLiteral("Cell_%1").arg(*n);
    });
    if (!cells)
        return std::nullopt;
    const bool words = ReplaceAll(text, cellwPattern, [cellCount](const QRegularExpressionMatch& m) -> std::optional<QString> {
        const std::optional<std::size_t> a = CellIndex(m.captured(1), cellCount);
        const std::optional<std::size_t> b = CellIndex(m.captured(2), cellCount);
        if (!a || !b)
            return std::nullopt;
        return QStringLiteral("(Cell_%1+256*Cell_%2)").arg(*a).arg(*b);
    });
    if (!words)
        return std::nullopt;
    return text;
}

bool CLogWorkbook::Build(pugi::xml_document& document, const pugi::xml_node& esc, const std::vector<uint8_t>& snapshot,
                         const uint8_t* pages, std::size_t pageCount)
{
    document.reset();
    if (!document.load_string(kTemplate, pugi::parse_default | pugi::parse_declaration | pugi::parse_pi))
        return false;
    pugi::xml_node workbook = document.child("Workbook");
    pugi::xml_node names = workbook.append_child("Names");
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        pugi::xml_node range = names.append_child("NamedRange");
        range.append_attribute("ss:Name") = QStringLiteral("Cell_%1").arg(i).toUtf8().constData();
        range.append_attribute("ss:RefersTo") = QStringLiteral("=Ini!R%1C2").arg(i + 1).toUtf8().constData();
    }
    pugi::xml_node ini = workbook.append_child("Worksheet");
    ini.append_attribute("ss:Name") = "Ini";
    BuildIni(ini.append_child("Table"), esc, snapshot);
    AddOptions(ini);
    pugi::xml_node log = workbook.append_child("Worksheet");
    log.append_attribute("ss:Name") = "Log";
    BuildLog(log.append_child("Table"), pages, pageCount);
    AddOptions(log);
    return true;
}

QByteArray CLogWorkbook::Format(const pugi::xml_node& esc, const std::vector<uint8_t>& snapshot, const uint8_t* pages,
                                std::size_t pageCount)
{
    pugi::xml_document document;
    if (!Build(document, esc, snapshot, pages, pageCount))
        return {};
    struct Writer : pugi::xml_writer {
        QByteArray bytes;
        void write(const void* data, size_t size) override
        {
            bytes.append(static_cast<const char*>(data), static_cast<qsizetype>(size));
        }
    } writer;
    // Without indentation: a full logger memory makes a large document,
    // and the spreadsheet needs no layout.
    document.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return writer.bytes;
}

bool CLogWorkbook::Save(const QString& path, const pugi::xml_node& esc, const std::vector<uint8_t>& snapshot,
                        const uint8_t* pages, std::size_t pageCount, QString* error)
{
    const QByteArray text = Format(esc, snapshot, pages, pageCount);
    if (text.isEmpty()) {
        if (error != nullptr)
            *error = QStringLiteral("the workbook could not be built");
        return false;
    }
    return CAtomicFile::WriteWhole(path, text, error);
}
