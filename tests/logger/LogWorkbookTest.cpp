#include "logger/CLogWorkbook.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoggerTestSupport.h"
#include "common/TestFiles.h"

using namespace LoggerTest;

namespace {

const char* const kEsc = R"xml(<ESC id="3.2.1">
  <Parameter name="Brake" cell="1" type="check"/>
  <Parameter name="Mode" cell="2" type="list"><Value val="0" string="Soft"/><Value val="1" string="Hard"/></Parameter>
  <Parameter name="Timing" cell="3" type="range" min="0" max="30" step="0.5" scale="2"/>
  <Parameter name="Cutoff" cell="4" type="curve"/>
  <Parameter name="Voltage" formula="cellw(10, 11)/100"/>
  <Parameter name="Double" formula="CELL(5)*2"/>
  <Parameter name="Far" formula="cell(200)"/>
  <Parameter name="Plain"/>
</ESC>)xml";

std::string CellText(const pugi::xml_node& cell)
{
    return cell.child("Data").text().as_string();
}

std::vector<pugi::xml_node> Children(const pugi::xml_node& node, const char* name)
{
    std::vector<pugi::xml_node> list;
    for (pugi::xml_node child = node.child(name); child; child = child.next_sibling(name))
        list.push_back(child);
    return list;
}

class LogWorkbookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_library.load_string(kEsc));
        m_snapshot.assign(128, 0);
        m_snapshot[1] = 1;
        m_snapshot[2] = 7;   // no Value for 7
        m_snapshot[3] = 101; // floor(50.5 + 0.5) * 0.5 = 25.5
        // Mask 7 (three slots, 42 groups), period 5; then mask 0.
        m_pages = Concat({Page(2, 5, 7, {0, 0, 0, 0xAB, 0xC1, 0x23}), Page(2, 5, 7), Page(3, 5, 0)});

        QTemporaryDir dir;
        const QString path = dir.filePath("logs.xml");
        ASSERT_TRUE(CLogWorkbook::Save(path, m_library.child("ESC"), m_snapshot, m_pages.data(), 3));
        m_text = TestFiles::Read(path);
        ASSERT_TRUE(m_document.load_buffer(m_text.constData(), static_cast<size_t>(m_text.size()),
                                           pugi::parse_default | pugi::parse_declaration | pugi::parse_pi));
        m_workbook = m_document.child("Workbook");
    }

    pugi::xml_node Sheet(const char* name) const
    {
        return m_workbook.find_child_by_attribute("Worksheet", "ss:Name", name).child("Table");
    }

    pugi::xml_document m_library;
    Bytes m_snapshot;
    Bytes m_pages;
    QByteArray m_text;
    pugi::xml_document m_document;
    pugi::xml_node m_workbook;
};

TEST_F(LogWorkbookTest, DocumentIsAnXmlSpreadsheetWithStylesAndNames)
{
    EXPECT_TRUE(m_text.startsWith("<?xml version=\"1.0\"?>"));
    EXPECT_STREQ(m_document.first_child().next_sibling().name(), "mso-application");
    EXPECT_STREQ(m_workbook.attribute("xmlns").value(), "urn:schemas-microsoft-com:office:spreadsheet");
    EXPECT_STREQ(m_workbook.attribute("xmlns:html").value(), "http://www.w3.org/TR/REC-html40");
    const auto styles = Children(m_workbook.child("Styles"), "Style");
    ASSERT_EQ(styles.size(), 4u);
    EXPECT_STREQ(styles[2].child("Interior").attribute("ss:Color").value(), "#00FF00");
    const auto names = Children(m_workbook.child("Names"), "NamedRange");
    ASSERT_EQ(names.size(), 128u);
    EXPECT_STREQ(names[5].attribute("ss:RefersTo").value(), "=Ini!R6C2");
    const auto sheets = Children(m_workbook, "Worksheet");
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_STREQ(sheets[1].child("WorksheetOptions").attribute("xmlns").value(),
                 "urn:schemas-microsoft-com:office:excel");
}

TEST_F(LogWorkbookTest, IniRowsNameDecodeAndConvertFormulas)
{
    const auto rows = Children(Sheet("Ini"), "Row");
    ASSERT_EQ(rows.size(), 128u + 4u);
    const struct {
        std::size_t row;
        const char* style;
        const char* name;
        const char* decoded;  // nullptr: two columns only
    } cases[] = {
        {0, "s21", "Cell 0", nullptr}, {1, "s22", "Brake", "On"}, {2, "s22", "Mode", "!Err"},
        {3, "s22", "Timing", "25.500000"}, {4, "s22", "Cutoff", "curve"},
    };
    for (const auto& c : cases) {
        const auto cells = Children(rows[c.row], "Cell");
        EXPECT_STREQ(cells[0].attribute("ss:StyleID").value(), c.style);
        EXPECT_EQ(CellText(cells[0]), c.name);
        EXPECT_STREQ(cells[1].child("NamedCell").attribute("ss:Name").value(),
                     ("Cell_" + std::to_string(c.row)).c_str());
        ASSERT_EQ(cells.size(), c.decoded ? 3u : 2u) << c.row;
        if (c.decoded) {
            EXPECT_EQ(CellText(cells[2]), c.decoded);
        }
    }
    auto formula = [&](std::size_t row) {
        const auto cells = Children(rows[row], "Cell");
        return cells.size() > 1 ? std::string(cells[1].attribute("ss:Formula").value()) : std::string("none");
    };
    EXPECT_EQ(formula(128), "=(Cell_10+256*Cell_11)/100");
    EXPECT_EQ(formula(129), "=Cell_5*2");
    EXPECT_EQ(formula(130), "none");  // cell 200 is beyond the snapshot
    EXPECT_EQ(formula(131), "none");
    EXPECT_STREQ(Children(rows[130], "Cell")[0].attribute("ss:StyleID").value(), "s23");
}

TEST_F(LogWorkbookTest, LogRowsCarrySlotValuesAndRunningTime)
{
    const auto rows = Children(Sheet("Log"), "Row");
    // Heading, 42 rows for each mask-7 page, one row for the mask-0 page.
    ASSERT_EQ(rows.size(), 1u + 42 + 42 + 1);
    const auto first = Children(rows[1], "Cell");
    ASSERT_EQ(first.size(), 7u + 4u);
    EXPECT_EQ(CellText(first[2]), "7");
    EXPECT_EQ(CellText(first[3]), "3");
    EXPECT_EQ(CellText(first[4]), "0.100000");
    EXPECT_EQ(CellText(first[9]), "2748");   // 0xABC
    EXPECT_EQ(CellText(first[10]), "291");   // 0x123
    const auto last = Children(rows[42], "Cell");
    EXPECT_FALSE(last[0].child("Data"));
    EXPECT_EQ(CellText(last[5]), "41");
    EXPECT_EQ(CellText(last[6]), "4.100000");
    EXPECT_EQ(CellText(Children(rows[43], "Cell")[6]), "4.100000");  // the next page starts at the same t
    EXPECT_EQ(Children(rows[85], "Cell").size(), 7u);                // mask 0: the first row alone
}

TEST(LogWorkbookFormulaTest, ConvertsCellReferences)
{
    const struct {
        const char* formula;
        const char* converted;  // nullptr: no formula
    } cases[] = {
        {"cellw(10, 11)", "=(Cell_10+256*Cell_11)"},
        {"cell(5)*2", "=Cell_5*2"},
        {"CELL(3)+Cellw( 1 ,2 )", "=Cell_3+(Cell_1+256*Cell_2)"},
        {"cell(200)", nullptr},
        {"cellw(1,128)", nullptr},
        {"w0*2", "=w0*2"},
    };
    for (const auto& c : cases) {
        const std::optional<QString> converted = CLogWorkbook::ConvertFormula(c.formula, 128);
        if (c.converted)
            EXPECT_EQ(converted, QString::fromLatin1(c.converted)) << c.formula;
        else
            EXPECT_FALSE(converted.has_value()) << c.formula;
    }
}

} // namespace
