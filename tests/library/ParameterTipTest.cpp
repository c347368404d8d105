#include "library/CParameterTip.h"

#include "LibraryTestSupport.h"

namespace {

// Motor is a category with two rows; Brake holds its rows collapsed.
constexpr char kTipLibrary[] = R"xml(
    <Categories><Category name="m" label="Motor" description="How the motor is driven"/>
                <Category name="b" label="Brake" collapsed="1"/><Category name="v" label="Battery"/></Categories>
    <ESC id="1" usecat="1">
      <Parameter name="Timing (deg)" type="range" cell="1" cat="m" min="0" max="30" step="0.5" scale="2"
                 default="31" description="Commutation advance"/>
      <Parameter name="Direction" type="list" cell="2" cat="m" default="1">
        <Value val="0" string="Normal"/><Value val="1" string="Reversed"/></Parameter>
      <Parameter name="Brake force (%)" type="range" cell="3" cat="b" min="0" max="100" step="1"/>
      <Parameter name="Drag brake" type="check" cell="4" cat="b" default="0"/>
      <Parameter name="Cells" type="number" cell="5" cat="v"/>
      <Parameter name="Auto cut-off" type="check" cell="6" cat="v" default="1"/>
      <Parameter name="Pack voltage" type="formula" cat="v" formula="12.5"/>
    </ESC>)xml";

QStringList NamesOf(const std::vector<IProperty*>& rows)
{
    QStringList names;
    for (const IProperty* row : rows)
        names << row->Name();
    return names;
}

class ParameterTipTest : public ModelTest {
protected:
    LocaleGuard locale{QLocale::c()};

    void SetUp() override
    {
        ModelTest::SetUp();
        model.BuildParameterList(Load(kTipLibrary), 0, 0);
    }

    void ShowCells(int timing, int direction)
    {
        device.cells[1] = static_cast<uint8_t>(timing);
        device.cells[2] = static_cast<uint8_t>(direction);
        ASSERT_TRUE(model.RefreshAllParameters(false));
    }
};

} // namespace

TEST_F(ParameterTipTest, TipsTellDescriptionAllowedValuesAndDefaultAndMarkWhatDiffersAsShown)
{
    // Raw 32 and the default 31 both show 8 on the half-degree grid: not changed.
    ShowCells(32, 1);
    const IProperty& timing = *Row("Timing (deg)");
    const IProperty& direction = *Row("Direction");
    EXPECT_EQ(CParameterTip::Text(timing),
              "Commutation advance\nRange: 0 to 30 deg, step 0.5 deg\nDefault: 8 deg");
    EXPECT_EQ(CParameterTip::Text(direction), "Values: Normal, Reversed\nDefault: Reversed");
    EXPECT_FALSE(CParameterTip::DiffersFromDefault(timing));
    EXPECT_FALSE(CParameterTip::DiffersFromDefault(direction));

    ShowCells(30, 0);
    EXPECT_TRUE(CParameterTip::DiffersFromDefault(timing));
    EXPECT_TRUE(CParameterTip::DiffersFromDefault(direction));
    EXPECT_EQ(CParameterTip::Text(timing).section('\n', 2), "Default: 8 deg (changed)");
    EXPECT_EQ(CParameterTip::Text(direction).section('\n', 1), "Default: Reversed (changed)");

    // Without a default nothing is marked; categories tell their description.
    EXPECT_FALSE(CParameterTip::DiffersFromDefault(*Row("Cells")));
    EXPECT_EQ(CParameterTip::Text(*Row("Cells")), "Range: 0 to 255, step 1");
    EXPECT_EQ(CParameterTip::Text(*Row("Motor")), "How the motor is driven");

    // A check box reads on or off; a value read from the ESC is never marked.
    const IProperty& cutOff = *Row("Auto cut-off");
    EXPECT_EQ(CParameterTip::Text(cutOff), "Values: on or off\nDefault: on (changed)");
    EXPECT_TRUE(CParameterTip::DiffersFromDefault(cutOff));
    device.cells[6] = 1;
    ASSERT_TRUE(model.RefreshAllParameters(false));
    EXPECT_FALSE(CParameterTip::DiffersFromDefault(cutOff));
    EXPECT_EQ(CParameterTip::Text(*Row("Pack voltage")), "Read from the ESC; not editable");
    EXPECT_FALSE(CParameterTip::DiffersFromDefault(*Row("Pack voltage")));
}

TEST_F(ParameterTipTest, FilterKeepsMatchingRowsUnderTheirCategoriesAndHidesEmptyCategories)
{
    const QStringList all = NamesOf(list.RowsMatching(QString()));
    EXPECT_EQ(all, QStringList({"Motor", "Timing (deg)", "Direction", "Brake", "Battery", "Cells", "Auto cut-off",
                               "Pack voltage"}));
    EXPECT_EQ(NamesOf(list.RowsMatching(QStringLiteral("TIM"))), QStringList({"Motor", "Timing (deg)"}));
    // A collapsed category stays for the rows it holds.
    EXPECT_EQ(NamesOf(list.RowsMatching(QStringLiteral("brake"))), QStringList({"Brake"}));
    EXPECT_TRUE(list.RowsMatching(QStringLiteral("rpm")).empty());
}
