#include "library/CCategoryProperty.h"
#include "library/CDoubleFormat.h"
#include "library/CPropertyEditItem.h"
#include "library/CPropertyListItem.h"
#include "library/CPropertySpinEditRangeItem.h"

#include "LibraryTestSupport.h"

namespace {

QString Shown(const IProperty& row)
{
    QString text;
    return row.GetDisplayText(text) ? text : QStringLiteral("<none>");
}

int Raw(const IProperty& row)
{
    QVariant v;
    EXPECT_TRUE(row.GetValue(v));
    return v.toInt();
}

} // namespace

TEST(RangeRow, RawAndShownValuesConvertOnTheStepGridAndValuesBeyondTheLimitsShowAsTheyAre)
{
    LocaleGuard c(QLocale::c());
    CPropertySpinEditRangeItem half("r", 0, 100, 0.5);
    half.SetScale(2);
    EXPECT_EQ(Shown(half), "0") << "starts at min";
    ASSERT_TRUE(half.SetValue(101));
    EXPECT_EQ(Shown(half), "25.5");
    EXPECT_EQ(Raw(half), 102);

    CPropertySpinEditRangeItem limited("r", 10, 20, 1);
    limited.SetValue(3);
    EXPECT_EQ(Shown(limited), "3 (not in the library)");
    EXPECT_EQ(Raw(limited), 3) << "the device's own value";
    EXPECT_FALSE(limited.Spin(1)) << "editing stays within the limits";
    limited.SetValue(250);
    EXPECT_EQ(Shown(limited), "250 (not in the library)");
    limited.SetValue(20);
    EXPECT_EQ(Shown(limited), "20");
    ASSERT_TRUE(limited.SetValueFromEditor(QStringLiteral("20.4")));
    EXPECT_EQ(Shown(limited), "20") << "a typed value within half a step is no device value";
    CPropertySpinEditRangeItem tenths("r", 0, 0.3, 0.1);
    tenths.SetValue(3);   // 3 * 0.1 carries rounding dust
    EXPECT_EQ(Shown(tenths), "0.3");
    // With min above max nothing is allowed.
    CPropertySpinEditRangeItem inverted("r", 20, 10, 1);
    inverted.SetValue(15);
    EXPECT_EQ(Shown(inverted), "15 (not in the library)");

    CPropertySpinEditRangeItem shifted("r", -50, 50, 2);
    shifted.SetOffset(-10);
    shifted.SetValue(15);   // floor(15 - 10 + 0.5) * 2
    EXPECT_EQ(shifted.Shown(), 10);
    EXPECT_EQ(Raw(shifted), 15);
}

TEST(RangeRow, TypedTextIsTakenAsTypedWithinHalfAStepOfTheLimitsAndSpinClicksRoundToTheGrid)
{
    LocaleGuard c(QLocale::c());
    CPropertySpinEditRangeItem row("r", 0, 100, 0.5);
    EXPECT_TRUE(row.SetValueFromEditor(QStringLiteral("100.25")));
    EXPECT_TRUE(row.SetValueFromEditor(QStringLiteral("-0.25")));
    for (const char* refused : {"100.3", "-0.3", "abc", "", "nan", "inf", "1e400"}) {
        EXPECT_FALSE(row.SetValueFromEditor(QString::fromLatin1(refused))) << refused;
        EXPECT_DOUBLE_EQ(row.Shown(), -0.25) << refused;
    }
    EXPECT_TRUE(row.SetValueFromEditor(QStringLiteral("33.3")));
    EXPECT_DOUBLE_EQ(row.Shown(), 33.3) << "no rounding";
    EXPECT_TRUE(row.Spin(1));
    EXPECT_DOUBLE_EQ(row.Shown(), 34.0);
    EXPECT_TRUE(row.Spin(-2));
    EXPECT_DOUBLE_EQ(row.Shown(), 33.0);
    ASSERT_TRUE(row.SetValue(0));
    EXPECT_FALSE(row.Spin(-1));
    ASSERT_TRUE(row.SetValueFromEditor(QStringLiteral("99.8")));
    EXPECT_FALSE(row.Spin(1)) << "100.3 is more than half a step above max";
    ASSERT_TRUE(row.SetValueFromEditor(QStringLiteral("99.7")));
    EXPECT_TRUE(row.Spin(1)) << "100.2 is within half a step of max";
    EXPECT_DOUBLE_EQ(row.Shown(), 100.0);
}

TEST(StepText, ShowsAtMostTheStepsDecimalsWithoutTrailingZeros)
{
    const struct {
        double value;
        double step;
        const char* text;
    } cases[] = {
        {78 * 0.1, 0.1, "7.8"},           {3.0, 0.1, "3"},       {2.5, 0.25, "2.5"},
        {2.75, 0.25, "2.75"},             {12.0, 1, "12"},       {12.4, 2, "12"},
        {1000.5, 0.5, "1000.5"},          {-0.25, 0.05, "-0.25"}, {-0.01, 0.1, "0"},
        {0.30000000000000004, 0.1, "0.3"}, {1.0 / 3, 0, "0.333333333"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CDoubleFormat::ForStep(c.value, c.step), QLatin1String(c.text)) << c.value << " step " << c.step;
}

TEST(RangeRow, ShownTextFollowsTheStepAndTypedTextTakesTheLocalesSeparator)
{
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    CPropertySpinEditRangeItem row("r", 0, 10, 0.1);
    row.SetOffset(28);
    row.SetValue(50);   // (50 + 28) steps of 0.1
    EXPECT_EQ(Shown(row), "7,8");
    CPropertySpinEditRangeItem half("r", 0, 5000, 0.5);
    half.SetValue(2001);
    EXPECT_EQ(Shown(half), "1000,5") << "no group separator";
    EXPECT_TRUE(half.SetValueFromEditor(QStringLiteral("12,5")));
    EXPECT_DOUBLE_EQ(half.Shown(), 12.5);
    EXPECT_TRUE(half.SetValueFromEditor(QStringLiteral("12.5")));
}

TEST(PropertyRows, EditAndListRowsTakeOnlyValuesTheyCanHold)
{
    CPropertyEditItem edit("e");
    EXPECT_TRUE(edit.SetValueFromEditor(QStringLiteral(" -12 ")));
    for (const char* refused : {"abc", "12.5", ""})
        EXPECT_FALSE(edit.SetValueFromEditor(QString::fromLatin1(refused))) << refused;
    EXPECT_EQ(Shown(edit), "-12");
    // A row holding a real number takes only numbers; one holding text takes any.
    CPropertyEditItem real("r", QVariant(0.5));
    EXPECT_TRUE(real.SetValueFromEditor(QStringLiteral("2.25")));
    EXPECT_FALSE(real.SetValueFromEditor(QStringLiteral("2,x")));
    CPropertyEditItem text("t", QVariant(QStringLiteral("a")));
    EXPECT_TRUE(text.SetValueFromEditor(QStringLiteral("12.5 V")));
    EXPECT_EQ(Shown(text), "12.5 V");

    CPropertyListItem list("l");
    EXPECT_EQ(Shown(list), "<none>") << "position -1 before the first text";
    list.AddText("off");
    list.AddText("on");
    EXPECT_TRUE(list.SetValueFromEditor(1));
    EXPECT_FALSE(list.SetValue(2));
    EXPECT_EQ(Raw(list), 1);
    list.ShowOutsideLibrary(9);
    EXPECT_EQ(Shown(list), "9 (not in the library)");
    EXPECT_EQ(Raw(list), -1) << "no entry chosen, so nothing to write";
    EXPECT_TRUE(list.SetValueFromEditor(0));
    EXPECT_EQ(Shown(list), "off");
}

TEST(PropertyList, CollapseKeepsTheSelectionOnItsRowAndACommitSurvivesItsHandlerEmptyingTheList)
{
    CPropertyList list;
    std::vector<IProperty*> rows;
    for (int i = 0; i < 5; ++i) {
        if (i == 0 || i == 3)
            rows.push_back(list.AddItem(std::make_unique<CCategoryProperty>(QString::number(i))));
        else
            rows.push_back(list.AddItem(std::make_unique<CPropertyEditItem>(QString::number(i))));
    }
    list.Select(4);
    ASSERT_TRUE(list.Collapse(rows[0]));
    EXPECT_FALSE(list.Collapse(rows[2])) << "not a category";
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Selected(), 2) << "the selection follows its row";
    ASSERT_TRUE(list.Toggle(rows[0]));
    EXPECT_EQ(list.Selected(), 4);

    // A failed write drops the link, which empties the list inside the -3003
    // handler: the destroyed row is not redrawn afterwards.
    int redrawn = 0;
    QObject::connect(&list, &CPropertyList::rowChanged, [&redrawn](IProperty*) { ++redrawn; });
    EXPECT_TRUE(list.CommitValue(rows[1], QStringLiteral("7"), true));
    EXPECT_EQ(redrawn, 1);
    QObject::connect(&list, &CPropertyList::notify, [&list](int code, IProperty*) {
        if (code == CPropertyList::NotifyChanged)
            list.Clear();
    });
    list.Collapse(rows[3]);
    EXPECT_TRUE(list.CommitValue(rows[1], QStringLiteral("1"), true));
    EXPECT_EQ(redrawn, 1);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Selected(), -1);
}
