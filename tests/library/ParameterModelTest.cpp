#include "LibraryTestSupport.h"
#include "common/CategoryTrace.h"

#include "library/CPropertyCheckButtonItem.h"
#include "library/CXmlAttributes.h"

#include <limits>

#include <muParser.h>

using Call = TableDevice::Call;
using Calls = std::vector<Call>;

namespace {

const char* const kGrouped = R"xml(
<ESC id="3.1" name="Sky" usecat="1" caps="RS">
  <Parameter name="Brake" type="list" cell="20" cat="motor"><Value val="5" string="soft"/><Value val="9" string="hard"/></Parameter>
  <Parameter name="Reverse" type="check" cell="21" cat="motor" default="1"/>
  <Parameter name="Timing" type="range" cell="22" min="0" max="30" step="1" cat="hidden" default="7"/>
  <Parameter name="Cutoff" type="range" cell="40" lo_byte_cell="41" min="0" max="1000" step="1" default="1000"/>
  <Parameter name="Volts" type="formula" formula="cellw(10,11)/10" format="%.1f"/>
  <Parameter name="Orphan" type="number" cell="30" cat="nowhere"/>
</ESC>
<Categories>
  <Category name="motor" label="Motor" description="Motor settings"/>
  <Category name="empty" label="Empty"/>
  <Category name="hidden" label="Hidden" collapsed="1"/>
  <Category name="general" label="General" default="1" collapsed="1"/>
</Categories>)xml";

} // namespace

TEST_F(ModelTest, RowsAreBuiltByTypeAndMalformedParametersAreLeftOut)
{
    const pugi::xml_node esc = Load(R"xml(<ESC>
        <Parameter type="check" cell="1"/><Parameter name="a" cell="1"/><Parameter name="b" type="check"/>
        <Parameter name="c" type="list" cell="1"><Value val="1" string="x"/><Value val="y" string="z"/></Parameter>
        <Parameter name="d" type="list" cell="1"><Value val="1"/></Parameter>
        <Parameter name="e" type="range" cell="1" min="0" max="1"/>
        <Parameter name="f" type="range" cell="1" min="0" max="1" step="0"/>
        <Parameter name="g" type="number"/><Parameter name="i" type="formula" cell="3"/>
        <Parameter name="h" type="Range" cell="1" min="0" max="1" step="1"/><Parameter name="j" type="list" cell="2"/>
        <Parameter name="k" type="range" cell="-1" min="0" max="1" step="1"/>
        <Parameter name="m" type="range" cell="1" min="0" max="1e999" step="1"/>
        <Parameter name="n" type="range" cell="1" min="-1e999" max="1" step="1"/></ESC>)xml");
    const DeviceFacts facts = model.BuildParameterList(esc, 1, 2);
    EXPECT_EQ(Names(), QStringList({"h", "j"}));
    EXPECT_EQ(Row("h")->Kind(), IProperty::KindEdit);
    EXPECT_EQ(Text(Row("j")), "<none>");
    EXPECT_FALSE(list.CategoriesStyle());
    EXPECT_EQ(facts.title, "TORV - ??? v 1.2");

    // Reals beyond a double read as strtod has them, not as 0.
    EXPECT_EQ(CXmlAttributes::LeadingReal("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(CXmlAttributes::LeadingReal(" -1e999x"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(CXmlAttributes::LeadingReal("1e-999"), 0.0);
    EXPECT_EQ(CXmlAttributes::LeadingReal("2.5e-3"), 0.0025);
}

TEST_F(ModelTest, GroupedListPutsCategoriesInOrderWithTheDefaultCategoryLastAndExpanded)
{
    const DeviceFacts facts = model.BuildParameterList(Load(kGrouped), 1, 7);
    EXPECT_EQ(facts.title, "TORV - Sky v 1.7");
    EXPECT_TRUE(facts.rangeReads && facts.speedChange && !facts.melodies);
    // Empty gets no row, Hidden is collapsed, General is the default category.
    EXPECT_EQ(Names(), QStringList({"Motor", "Brake", "Reverse", "Hidden", "General", "Cutoff", "Volts"}));
    EXPECT_TRUE(list.IsCollapsed(Row("Hidden")));
    EXPECT_FALSE(list.IsCollapsed(Row("General")));
    EXPECT_EQ(CParameterModel::DescriptionOf(Row("Motor")).value_or(""), "Motor settings");
}

TEST_F(ModelTest, DefaultCategorySelectionDecidesWhereUncategorisedParametersGo)
{
    const std::pair<const char*, QStringList> cases[] = {
        {R"(<Categories><Category name="misc" label="Misc" default="0"/></Categories>)", {"Misc", "A", "Misc", "B"}},
        {R"(<Categories><Category name="misc" label="Misc"/></Categories>)", {"Misc", "A"}},
        {"", {"A", "B"}},   // no Categories at all: a flat list
        {R"(<Categories><Category name="misc" label="General" default="1"/></Categories>)", {"General", "B"}},
    };
    for (const auto& [categories, names] : cases) {
        model.BuildParameterList(Load(QByteArray(R"(<ESC usecat="1">
            <Parameter name="A" type="number" cell="1" cat="misc"/>
            <Parameter name="B" type="number" cell="2"/></ESC>)") + categories), 0, 0);
        EXPECT_EQ(Names(), names) << categories;
    }
    // Expanding the default category re-reads the parameters naming it.
    device.calls.clear();
    model.OnCategoryExpanded(Row("General"));
    EXPECT_EQ(device.calls, (Calls{{'r', 1, 0}}));
}

TEST_F(ModelTest, CellValuesShowByKindSkippingCollapsedCategoriesAndBulkModeReadsOneRange)
{
    const pugi::xml_node esc = Load(kGrouped);
    model.BuildParameterList(esc, 1, 0);
    for (const auto& [cell, value] : {std::pair{20, 5}, {21, 200}, {40, 1}, {41, 44}, {10, 232}, {11, 3}})
        device.cells[static_cast<size_t>(cell)] = static_cast<uint8_t>(value);
    ASSERT_TRUE(model.RefreshAllParameters(false));
    EXPECT_EQ(Text(Row("Brake")), "soft");
    EXPECT_TRUE(dynamic_cast<CPropertyCheckButtonItem*>(Row("Reverse"))->IsChecked());
    EXPECT_EQ(Text(Row("Cutoff")), "300");
    EXPECT_EQ(Text(Row("Volts")), "100.0");
    EXPECT_EQ(device.calls, (Calls{{'r', 20, 0}, {'r', 21, 0}, {'r', 40, 0}, {'r', 41, 0}, {'r', 10, 0}, {'r', 11, 0}}))
        << "the collapsed Timing is not read";

    // A raw value that no Value matches is shown as what it is; rows of a
    // collapsed category still take values.
    const pugi::xml_node brake = esc.find_child_by_attribute("Parameter", "name", "Brake");
    EXPECT_TRUE(model.ShowCellValue(brake, 7));
    EXPECT_EQ(Text(Row("Brake")), "7 (not in the library)");
    const pugi::xml_node timing = esc.find_child_by_attribute("Parameter", "name", "Timing");
    EXPECT_TRUE(model.ShowCellValue(timing, 12));
    EXPECT_EQ(Text(list.FindByItemData(timing)), "12");

    // A failed read ends the refresh.
    device.failingReads = {20};
    device.calls.clear();
    EXPECT_FALSE(model.RefreshAllParameters(false));
    EXPECT_EQ(device.calls, (Calls{{'r', 20, 0}}));

    device.calls.clear();
    image.ResetImage(256, &device, true);
    ASSERT_TRUE(model.RefreshAllParameters(false));
    EXPECT_EQ(device.calls, (Calls{{'R', 0, 255}}));
}

TEST_F(ModelTest, ValuesOutsideLibraryNamesEachListAndRangeSettingTheLibraryDoesNotAllow)
{
    model.BuildParameterList(Load(kGrouped), 1, 0);
    std::array<uint8_t, 128> cells{};
    cells[20] = 9;
    cells[22] = 30;
    cells[40] = 3;
    cells[41] = 232;
    EXPECT_TRUE(model.ValuesOutsideLibrary(cells).isEmpty());
    cells[20] = 7;    // no Value 7
    cells[21] = 200;  // any value is a valid check
    cells[22] = 31;   // above max, in a collapsed category
    cells[41] = 233;  // 1001 over two cells
    EXPECT_EQ(model.ValuesOutsideLibrary(cells),
              QStringList({"Brake: 7 (not in the library)", "Timing: 31 (not in the library)",
                           "Cutoff: 1001 (not in the library)"}));
}

TEST_F(ModelTest, RestoreDefaultsWritesHighCellFirstSkipsCollapsedCategoriesAndExpandingRereads)
{
    model.BuildParameterList(Load(kGrouped), 1, 0);
    device.cells[22] = 3;
    ASSERT_TRUE(model.RefreshAllParameters(true));
    EXPECT_EQ(device.Only('w'), (Calls{{'w', 21, 1}, {'w', 40, 3}, {'w', 41, 232}}));
    EXPECT_EQ(Text(Row("Cutoff")), "1000");

    IProperty* hidden = Row("Hidden");
    ASSERT_TRUE(list.Expand(hidden));
    device.calls.clear();
    EXPECT_TRUE(model.OnCategoryExpanded(hidden));
    EXPECT_EQ(device.calls, (Calls{{'r', 22, 0}}));
    EXPECT_EQ(Text(Row("Timing")), "3");
}

TEST_F(ModelTest, WriteBackCodesEachKindAndShowsWhatTheDeviceReports)
{
    model.BuildParameterList(Load(R"xml(<ESC>
        <Parameter name="Brake" type="list" cell="20"><Value val="0" string="off"/><Value val="9" string="hard"/></Parameter>
        <Parameter name="Check" type="check" cell="21"/>
        <Parameter name="Cutoff" type="range" cell="40" lo_byte_cell="41" min="0" max="1000" step="1"/>
        <Parameter name="Plain" type="number" cell="286"/>
        <Parameter name="Volts" type="formula" formula="cell(30)"/></ESC>)xml"), 0, 0);
    Row("Brake")->SetValueFromEditor(1);
    Row("Check")->SetValue(7);
    Row("Cutoff")->SetValueFromEditor(QStringLiteral("300"));
    for (const char* name : {"Brake", "Check", "Cutoff"})
        EXPECT_EQ(model.WriteBackParameter(Row(name)), CParameterModel::WriteResult::Written) << name;
    EXPECT_EQ(device.calls, (Calls{{'w', 20, 9}, {'r', 20, 0}, {'w', 21, 1}, {'r', 21, 0},
                                   {'w', 40, 1}, {'w', 41, 44}, {'r', 40, 0}, {'r', 41, 0}}));
    EXPECT_EQ(Text(Row("Brake")) + " " + Text(Row("Cutoff")), "hard 300");
    EXPECT_EQ(device.pausedMs, 4 * 11) << "11 ms after every successful write";
    EXPECT_EQ(model.WriteBackParameter(Row("Volts")), CParameterModel::WriteResult::NothingWritten);

    // A number one cell cannot hold is not written cut to its low byte.
    device.calls.clear();
    Row("Plain")->SetValueFromEditor(QStringLiteral("300"));
    EXPECT_EQ(model.WriteBackParameter(Row("Plain")), CParameterModel::WriteResult::DoesNotFit);
    EXPECT_TRUE(device.calls.empty());

    // Cell 286 is taken as its low byte, 30. A device that writes but cannot
    // read back: the written byte is shown.
    device.failingReads = {30};
    Row("Plain")->SetValueFromEditor(QStringLiteral("44"));
    EXPECT_EQ(model.WriteBackParameter(Row("Plain")), CParameterModel::WriteResult::Written);
    EXPECT_EQ(device.calls.back(), (Call{'r', 30, 0}));
    EXPECT_EQ(Text(Row("Plain")), "44");

    device.failingWrites = {40};
    device.calls.clear();
    EXPECT_EQ(model.WriteBackParameter(Row("Cutoff")), CParameterModel::WriteResult::WriteFailed);
    EXPECT_EQ(device.calls, (Calls{{'w', 40, 1}}));
}

TEST_F(ModelTest, FormulasEvaluateOverTheCurrentCellImageAndReportErrorsOnTheDebugOutput)
{
    model.BuildParameterList(Load(R"xml(<ESC>
        <Parameter name="Volts" type="formula" formula="cellw(10,11)/10" format="%.1f"/>
        <Parameter name="VoltsRaw" type="formula" formula="cellw(10,11)/10"/>
        <Parameter name="Half" type="formula" formula="floor(cell(11)/2)+0.5" format="V=%g%%"/>
        <Parameter name="Raw" type="formula" formula="cell(10)*2" cell="10"/>
        <Parameter name="Evil" type="formula" formula="1" format="%s%n"/>
        <Parameter name="Bad" type="formula" formula="cell(300)"/>
        <Parameter name="After" type="number" cell="12"/></ESC>)xml"), 0, 0);
    EXPECT_EQ(formulas.Count(), 5) << "a formula text already present keeps its entry";
    device.cells[10] = 232;
    device.cells[11] = 3;
    device.cells[12] = 77;

    const CategoryTrace trace("torv.library");
    EXPECT_TRUE(model.RefreshAllParameters(false)) << "a formula error is no failed load";
    EXPECT_EQ(Text(Row("After")), "77") << "the rows after a failed formula are refreshed too";
    EXPECT_EQ(Text(Row("Volts")), "100.0");
    EXPECT_EQ(Text(Row("VoltsRaw")), "100.000000");
    EXPECT_EQ(Text(Row("Half")), "V=1.5%");
    EXPECT_EQ(Text(Row("Raw")), "232") << "a formula parameter with a cell shows the cell";
    EXPECT_EQ(Text(Row("Evil")), "1.000000") << "an unsafe format falls back to %f";
    EXPECT_EQ(Text(Row("Bad")), "parser error");
    EXPECT_TRUE(trace.lines.contains(
        QStringLiteral("Exception - \"parser error\" during evaluating formula \"cell(300)\"")))
        << trace.lines.join('\n').toStdString();

    // cell() is read again on each refresh, not folded into a constant.
    device.cells[11] = 5;
    model.RefreshAllParameters(false);
    EXPECT_EQ(Text(Row("Half")), "V=2.5%");
    // A cell that the device does not give fails the refresh, also when a
    // formula asks for it.
    device.failingReads = {11};
    EXPECT_FALSE(model.RefreshAllParameters(false));
    EXPECT_EQ(Text(Row("Volts")), "parser error");
    device.failingReads.clear();
    // Cells outside the image, and any cell without a current image, fail.
    for (const char* text : {"cell(-1)", "cellw(5, 256)"})
        EXPECT_THROW(formulas.Add(QString::fromLatin1(text)).Eval(), mu::ParserError) << text;
    CFormulaTable::SetCurrentImage(nullptr);
    EXPECT_THROW(formulas.Add(QStringLiteral("cell(7)")).Eval(), mu::ParserError);
}

TEST_F(ModelTest, SampleLibraryBuildsRefreshesAndRestoresEveryDevice)
{
    ASSERT_TRUE(library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc"))) << library.ErrorText().toStdString() << " line " << library.ErrorLine();
    for (int i = 0; i < 256; ++i)
        device.cells[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    int closeRequests = 0;
    QObject::connect(&list, &CPropertyList::closeEditorRequested, [&closeRequests] { ++closeRequests; });
    for (const pugi::xml_node& esc : library.Root().children("ESC")) {
        const std::string id = esc.attribute("id").value();
        model.BuildParameterList(esc, 1, 2);
        EXPECT_GT(list.Count(), 0) << id;
        image.ResetImage(256, &device, CDeviceLibrary::CapabilitiesOf(esc).rangeReads);
        EXPECT_TRUE(model.RefreshAllParameters(false)) << id;
        EXPECT_TRUE(model.RefreshAllParameters(true)) << id;
    }
    EXPECT_GT(closeRequests, 0) << "restoring defaults closes the editor first";
}
