#include "LibraryTestSupport.h"

#include "library/CCategoryProperty.h"
#include "library/CPropertyCheckButtonItem.h"
#include "library/CPropertyListItem.h"

#include <QDir>
#include <QFileInfo>

#include <muParser.h>

using Call = TableDevice::Call;

namespace {

const char* const kGrouped = R"xml(
<ESC id="3.1" name="Sky" usecat="1" caps="RS">
  <Parameter name="Brake" type="list" cell="20" cat="motor" description="Brake force">
    <Value val="0" string="off"/><Value val="5" string="soft"/><Value val="9" string="hard"/>
  </Parameter>
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

QStringList g_debugLines;

void CaptureDebug(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    if (context.category != nullptr && QByteArray(context.category) == "torv.library")
        g_debugLines << text;
}

} // namespace

TEST_F(ModelTest, RowsAreBuiltByTypeAndMalformedParametersAreLeftOut)
{
    const pugi::xml_node esc = Load(R"xml(<ESC>
        <Parameter type="check" cell="1"/>
        <Parameter name="a" cell="1"/>
        <Parameter name="b" type="check"/>
        <Parameter name="c" type="list" cell="1"><Value val="1" string="x"/><Value val="y" string="z"/></Parameter>
        <Parameter name="d" type="list" cell="1"><Value val="1"/></Parameter>
        <Parameter name="e" type="range" cell="1" min="0" max="1"/>
        <Parameter name="f" type="range" cell="1" min="0" max="1" step="0"/>
        <Parameter name="g" type="number"/>
        <Parameter name="i" type="formula" cell="3"/>
        <Parameter name="h" type="Range" cell="1" min="0" max="1" step="1"/>
        <Parameter name="j" type="list" cell="2"/>
        <Parameter name="k" type="range" cell="-1" min="0" max="1" step="1"/>
        </ESC>)xml");
    const DeviceFacts facts = model.BuildParameterList(esc, 1, 2);
    EXPECT_EQ(Names(), QStringList({"h", "j"}));
    EXPECT_EQ(Row("h")->Kind(), IProperty::KindEdit);
    EXPECT_EQ(Row("j")->Kind(), IProperty::KindList);
    EXPECT_EQ(Text(Row("j")), "<none>");
    EXPECT_FALSE(list.CategoriesStyle());
    EXPECT_EQ(facts.title, "TORV - ??? v 1.2");
    EXPECT_FALSE(facts.rangeReads || facts.speedChange || facts.melodies);
}

TEST_F(ModelTest, GroupedListPutsCategoriesInOrderWithTheDefaultCategoryLastAndExpanded)
{
    const pugi::xml_node esc = Load(kGrouped);
    const DeviceFacts facts = model.BuildParameterList(esc, 1, 7);
    EXPECT_EQ(facts.title, "TORV - Sky v 1.7");
    EXPECT_TRUE(facts.rangeReads && facts.speedChange && !facts.melodies);
    EXPECT_TRUE(list.CategoriesStyle());
    // Empty gets no row, Hidden is collapsed, General is the default category.
    EXPECT_EQ(Names(), QStringList({"Motor", "Brake", "Reverse", "Hidden", "General", "Cutoff", "Volts"}));
    EXPECT_TRUE(list.IsCollapsed(Row("Hidden")));
    EXPECT_FALSE(list.IsCollapsed(Row("General")));
    EXPECT_EQ(CParameterModel::DescriptionOf(Row("Brake")).value_or(""), "Brake force");
    EXPECT_EQ(CParameterModel::DescriptionOf(Row("Motor")).value_or(""), "Motor settings");
    EXPECT_FALSE(CParameterModel::DescriptionOf(Row("Reverse")).has_value());
}

TEST_F(ModelTest, DefaultZeroCategoryGetsItsOwnAndUncategorisedParametersAndNoDefaultHidesThem)
{
    pugi::xml_node esc = Load(R"xml(<ESC usecat="1">
        <Parameter name="A" type="number" cell="1" cat="misc"/>
        <Parameter name="B" type="number" cell="2"/></ESC>
        <Categories><Category name="misc" label="Misc" default="0"/></Categories>)xml");
    model.BuildParameterList(esc, 0, 0);
    EXPECT_EQ(Names(), QStringList({"Misc", "A", "Misc", "B"}));

    esc = Load(R"xml(<ESC usecat="1">
        <Parameter name="A" type="number" cell="1" cat="misc"/>
        <Parameter name="B" type="number" cell="2"/></ESC>
        <Categories><Category name="misc" label="Misc"/></Categories>)xml");
    model.BuildParameterList(esc, 0, 0);
    EXPECT_EQ(Names(), QStringList({"Misc", "A"}));

    esc = Load(R"xml(<ESC usecat="1">
        <Parameter name="A" type="number" cell="1" cat="misc"/>
        <Parameter name="B" type="number" cell="2"/></ESC>)xml");
    const DeviceFacts facts = model.BuildParameterList(esc, 0, 0);
    EXPECT_FALSE(facts.grouped);
    EXPECT_EQ(Names(), QStringList({"A", "B"})) << "no Categories: flat";
}

TEST_F(ModelTest, CellValuesShowByKindIncludingRowsOfCollapsedCategories)
{
    const pugi::xml_node esc = Load(kGrouped);
    model.BuildParameterList(esc, 1, 0);
    device.cells[20] = 5;
    device.cells[21] = 200;
    device.cells[40] = 1;
    device.cells[41] = 44;
    device.cells[10] = 232;
    device.cells[11] = 3;
    ASSERT_TRUE(model.RefreshAllParameters(false));
    EXPECT_EQ(Text(Row("Brake")), "soft");
    EXPECT_TRUE(dynamic_cast<CPropertyCheckButtonItem*>(Row("Reverse"))->IsChecked());
    EXPECT_EQ(Text(Row("Cutoff")), "300");
    EXPECT_EQ(Text(Row("Volts")), "100.0");
    EXPECT_TRUE(device.Only('r') == (std::vector<Call>{{'r', 20, 0}, {'r', 21, 0}, {'r', 40, 0}, {'r', 41, 0},
                                                      {'r', 10, 0}, {'r', 11, 0}}))
        << "the collapsed Timing is not read";

    // A raw value that no Value matches keeps the shown entry.
    const pugi::xml_node brake = esc.find_child_by_attribute("Parameter", "name", "Brake");
    EXPECT_FALSE(model.ShowCellValue(brake, 7));
    EXPECT_EQ(Text(Row("Brake")), "soft");
    EXPECT_TRUE(model.ShowCellValue(brake, 9));
    EXPECT_EQ(Text(Row("Brake")), "hard");

    const pugi::xml_node timing = esc.find_child_by_attribute("Parameter", "name", "Timing");
    EXPECT_TRUE(model.ShowCellValue(timing, 12));
    EXPECT_EQ(Text(list.FindByItemData(timing)), "12");
}

TEST_F(ModelTest, RestoreDefaultsWritesHighCellFirstSkipsCollapsedCategoriesAndExpandingRereads)
{
    const pugi::xml_node esc = Load(kGrouped);
    model.BuildParameterList(esc, 1, 0);
    device.cells[22] = 3;
    ASSERT_TRUE(model.RefreshAllParameters(true));
    EXPECT_EQ(device.Only('w'), (std::vector<Call>{{'w', 21, 1}, {'w', 40, 3}, {'w', 41, 232}}));
    EXPECT_EQ(Text(Row("Cutoff")), "1000");

    IProperty* hidden = Row("Hidden");
    ASSERT_TRUE(list.Expand(hidden));
    device.calls.clear();
    EXPECT_TRUE(model.OnCategoryExpanded(hidden));
    EXPECT_EQ(device.calls, (std::vector<Call>{{'r', 22, 0}}));
    EXPECT_EQ(Text(Row("Timing")), "3");
}

TEST_F(ModelTest, ExpandingTheDefaultCategoryRereadsParametersNamingItNotTheUncategorised)
{
    const pugi::xml_node esc = Load(R"xml(<ESC usecat="1">
        <Parameter name="A" type="number" cell="1" cat="general"/>
        <Parameter name="B" type="number" cell="2"/></ESC>
        <Categories><Category name="general" label="General" default="1"/></Categories>)xml");
    model.BuildParameterList(esc, 0, 0);
    EXPECT_EQ(Names(), QStringList({"General", "B"}));
    model.OnCategoryExpanded(Row("General"));
    EXPECT_EQ(device.calls, (std::vector<Call>{{'r', 1, 0}}));
}

TEST_F(ModelTest, CellNumbersUseTheirLowByteAndAFailedReadEndsTheRefresh)
{
    model.BuildParameterList(Load(R"xml(<ESC>
        <Parameter name="A" type="number" cell="300"/>
        <Parameter name="B" type="number" cell="2"/></ESC>)xml"), 0, 0);
    device.cells[44] = 9;
    ASSERT_TRUE(model.RefreshAllParameters(false));
    EXPECT_EQ(Text(Row("A")), "9");
    device.failingReads = {44};
    device.calls.clear();
    EXPECT_FALSE(model.RefreshAllParameters(false));
    EXPECT_EQ(device.calls, (std::vector<Call>{{'r', 44, 0}})) << "B is not read after A failed";
}

TEST_F(ModelTest, BulkModeRefreshIssuesOneRangeRead)
{
    const pugi::xml_node esc = Load(kGrouped);
    model.BuildParameterList(esc, 1, 0);
    image.ResetImage(256, &device, true);
    ASSERT_TRUE(model.RefreshAllParameters(false));
    EXPECT_EQ(device.calls, (std::vector<Call>{{'R', 0, 255}}));
}

TEST_F(ModelTest, WriteBackCodesEachKindAndShowsWhatTheDeviceReports)
{
    const pugi::xml_node esc = Load(R"xml(<ESC>
        <Parameter name="Brake" type="list" cell="20">
          <Value val="0" string="off"/><Value val="5" string="soft"/><Value val="9" string="hard"/></Parameter>
        <Parameter name="Check" type="check" cell="21"/>
        <Parameter name="Check2" type="check" cell="50" lo_byte_cell="51"/>
        <Parameter name="Cutoff" type="range" cell="40" lo_byte_cell="41" min="0" max="1000" step="1"/>
        <Parameter name="Plain" type="number" cell="30"/>
        <Parameter name="Volts" type="formula" formula="cell(30)"/></ESC>)xml");
    model.BuildParameterList(esc, 0, 0);

    Row("Brake")->SetValueFromEditor(2);
    EXPECT_EQ(model.WriteBackParameter(Row("Brake")), CParameterModel::WriteResult::Written);
    Row("Check")->SetValue(7);
    model.WriteBackParameter(Row("Check"));
    Row("Check2")->SetValue(true);
    model.WriteBackParameter(Row("Check2"));
    Row("Cutoff")->SetValueFromEditor(QStringLiteral("300"));
    model.WriteBackParameter(Row("Cutoff"));
    EXPECT_EQ(device.Only('w'), (std::vector<Call>{{'w', 20, 9}, {'w', 21, 1}, {'w', 50, 255}, {'w', 51, 255},
                                                  {'w', 40, 1}, {'w', 41, 44}}));
    EXPECT_EQ(Text(Row("Brake")), "hard");
    EXPECT_EQ(Text(Row("Cutoff")), "300");
    // Each write is read back from the device.
    EXPECT_EQ(device.Only('r').size(), 6U);
    EXPECT_EQ(model.WriteBackParameter(Row("Volts")), CParameterModel::WriteResult::NothingWritten);

    // A device that writes but cannot be read back: the written byte is shown.
    device.failingReads = {30};
    Row("Plain")->SetValueFromEditor(QStringLiteral("300"));
    EXPECT_EQ(model.WriteBackParameter(Row("Plain")), CParameterModel::WriteResult::Written);
    EXPECT_EQ(device.calls.back(), (Call{'r', 30, 0}));
    EXPECT_EQ(Text(Row("Plain")), "44");

    device.failingWrites = {40};
    device.calls.clear();
    EXPECT_EQ(model.WriteBackParameter(Row("Cutoff")), CParameterModel::WriteResult::WriteFailed);
    EXPECT_EQ(device.calls, (std::vector<Call>{{'w', 40, 1}}));
}

TEST_F(ModelTest, ARefusedEditStillWritesTheUnchangedValueOnce)
{
    const pugi::xml_node esc = Load(R"xml(<ESC><Parameter name="Plain" type="number" cell="30"/></ESC>)xml");
    model.BuildParameterList(esc, 0, 0);
    device.cells[30] = 12;
    model.RefreshAllParameters(false);
    QObject::connect(&list, &CPropertyList::notify, [this](int code, IProperty* row) {
        if (code == CPropertyList::NotifyChanged)
            model.WriteBackParameter(row);
    });
    EXPECT_FALSE(list.CommitValue(Row("Plain"), QStringLiteral("twelve"), true));
    EXPECT_EQ(device.Only('w'), (std::vector<Call>{{'w', 30, 12}}));
}

TEST_F(ModelTest, FormulasEvaluateOverTheCellImageAndReportErrorsOnTheDebugOutput)
{
    const pugi::xml_node esc = Load(R"xml(<ESC>
        <Parameter name="Volts" type="formula" formula="cellw(10,11)/10" format="%.1f"/>
        <Parameter name="VoltsRaw" type="formula" formula="cellw(10,11)/10"/>
        <Parameter name="Half" type="formula" formula="floor(cell(11)/2)+0.5" format="V=%g%%"/>
        <Parameter name="Raw" type="formula" formula="cell(10)*2" cell="10"/>
        <Parameter name="Evil" type="formula" formula="1" format="%s%n"/>
        <Parameter name="Bad" type="formula" formula="cell(300)"/></ESC>)xml");
    model.BuildParameterList(esc, 0, 0);
    EXPECT_EQ(formulas.Count(), 5) << "a formula text already present keeps its entry";
    device.cells[10] = 232;
    device.cells[11] = 3;

    g_debugLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(CaptureDebug);
    EXPECT_FALSE(model.RefreshAllParameters(false)) << "Bad fails";
    qInstallMessageHandler(previous);

    EXPECT_EQ(Text(Row("Volts")), "100.0");
    EXPECT_EQ(Text(Row("VoltsRaw")), "100.000000");
    EXPECT_EQ(Text(Row("Half")), "V=1.5%");
    EXPECT_EQ(Text(Row("Raw")), "232") << "a formula parameter with a cell shows the cell";
    EXPECT_EQ(Text(Row("Evil")), "1.000000") << "an unsafe format falls back to %f";
    EXPECT_EQ(Text(Row("Bad")), "");
    EXPECT_TRUE(g_debugLines.contains(
        QStringLiteral("Exception - \"parser error\" during evaluating formula \"cell(300)\"")))
        << g_debugLines.join('\n').toStdString();
}

TEST_F(ModelTest, CellFunctionsReadTheCurrentImageEachTimeAndFailWithoutOne)
{
    mu::Parser& parser = formulas.Add(QStringLiteral("cell(5)"));
    EXPECT_EQ(&parser, &formulas.Add(QStringLiteral("cell(5)")));
    EXPECT_EQ(formulas.Find(QStringLiteral("cell(6)")), nullptr);

    device.cells[5] = 1;
    EXPECT_EQ(parser.Eval(), 1);
    device.cells[5] = 2;
    image.InvalidateCell(5);
    EXPECT_EQ(parser.Eval(), 2) << "cell is not folded into a constant";

    device.failingReads = {6};
    for (const char* text : {"cell(6)", "cell(-1)", "cellw(5, 256)"}) {
        mu::Parser& failing = formulas.Add(QString::fromLatin1(text));
        try {
            failing.Eval();
            ADD_FAILURE() << text << " evaluated";
        } catch (const mu::ParserError& e) {
            EXPECT_EQ(e.GetCode(), mu::ecGENERIC) << text;
            EXPECT_EQ(e.GetMsg(), "parser error") << text;
        }
    }

    CFormulaTable::SetCurrentImage(nullptr);
    image.InvalidateCell(-1);
    EXPECT_THROW(parser.Eval(), mu::ParserError);
}

TEST_F(ModelTest, SampleLibraryBuildsRefreshesAndRestoresEveryDevice)
{
    const QString path = QFileInfo(QStringLiteral(__FILE__)).dir().filePath("../../src/resources/Brisko.esc");
    if (!QFileInfo::exists(path))
        GTEST_SKIP() << "no sample library";
    ASSERT_TRUE(library.Load(path)) << library.ErrorText().toStdString() << " line " << library.ErrorLine();
    EXPECT_FALSE(library.SupportedDevices().empty());
    for (int i = 0; i < 256; ++i)
        device.cells[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    int closeRequests = 0;
    QObject::connect(&list, &CPropertyList::closeEditorRequested, [&closeRequests] { ++closeRequests; });
    for (const pugi::xml_node& esc : library.Root().children("ESC")) {
        const QString id = QString::fromUtf8(esc.attribute("id").value());
        model.BuildParameterList(esc, 1, 2);
        EXPECT_GT(list.Count(), 0) << id.toStdString();
        image.ResetImage(256, &device, CDeviceLibrary::CapabilitiesOf(esc).rangeReads);
        EXPECT_TRUE(model.RefreshAllParameters(false)) << id.toStdString();
        EXPECT_TRUE(model.RefreshAllParameters(true)) << id.toStdString();
    }
    EXPECT_GT(closeRequests, 0) << "restoring defaults closes the editor first";
}
