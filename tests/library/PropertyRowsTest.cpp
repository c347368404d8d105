#include "library/CCategoryProperty.h"
#include "library/CPropertyCheckButtonItem.h"
#include "library/CPropertyEditItem.h"
#include "library/CPropertyList.h"
#include "library/CPropertyListItem.h"
#include "library/CPropertySpinEditRangeItem.h"

#include <QLocale>

#include <gtest/gtest.h>

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

// Runs the test with a fixed default locale and puts the old one back.
class LocaleGuard {
public:
    explicit LocaleGuard(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleGuard() { QLocale::setDefault(m_old); }

private:
    QLocale m_old;
};

} // namespace

TEST(RangeRow, RawAndShownValuesConvertOnTheStepGridWithinLimits)
{
    LocaleGuard c(QLocale::c());
    CPropertySpinEditRangeItem half("r", 0, 100, 0.5);
    half.SetScale(2);
    EXPECT_EQ(half.Kind(), IProperty::KindSpinEdit);
    EXPECT_EQ(Shown(half), "0") << "starts at min";
    ASSERT_TRUE(half.SetValue(101));
    EXPECT_DOUBLE_EQ(half.Shown(), 25.5);
    EXPECT_EQ(Shown(half), "25.5");
    EXPECT_EQ(Raw(half), 102);
    ASSERT_TRUE(half.SetValue(200U));
    EXPECT_EQ(Shown(half), "50");

    CPropertySpinEditRangeItem limited("r", 10, 20, 1);
    limited.SetValue(3);
    EXPECT_EQ(limited.Shown(), 10);
    limited.SetValue(250);
    EXPECT_EQ(limited.Shown(), 20);

    // min wins when the library gives min above max.
    CPropertySpinEditRangeItem inverted("r", 20, 10, 1);
    inverted.SetValue(15);
    EXPECT_EQ(inverted.Shown(), 20);
    inverted.SetValue(5);
    EXPECT_EQ(inverted.Shown(), 20);

    CPropertySpinEditRangeItem shifted("r", -50, 50, 2);
    shifted.SetOffset(-10);
    shifted.SetValue(15);   // floor(15 - 10 + 0.5) * 2
    EXPECT_EQ(shifted.Shown(), 10);
    EXPECT_EQ(Raw(shifted), 15);
    EXPECT_FALSE(shifted.SetValue(QStringLiteral("abc")));
}

TEST(RangeRow, TypedTextIsTakenAsTypedWithinHalfAStepOfTheLimits)
{
    LocaleGuard c(QLocale::c());
    CPropertySpinEditRangeItem row("r", 0, 100, 0.5);
    EXPECT_TRUE(row.SetValueFromEditor(QStringLiteral("33.3")));
    EXPECT_DOUBLE_EQ(row.Shown(), 33.3) << "no rounding";
    EXPECT_TRUE(row.SetValueFromEditor(QStringLiteral("100.25")));
    EXPECT_TRUE(row.SetValueFromEditor(QStringLiteral("-0.25")));
    for (const char* refused : {"100.3", "-0.3", "abc", "", "nan", "inf", "1e400"}) {
        EXPECT_FALSE(row.SetValueFromEditor(QString::fromLatin1(refused))) << refused;
        EXPECT_DOUBLE_EQ(row.Shown(), -0.25) << refused;
    }
}

TEST(RangeRow, SpinClicksMoveByAStepRoundToTheGridAndStopHalfAStepOutside)
{
    CPropertySpinEditRangeItem row("r", 0, 100, 0.5);
    ASSERT_TRUE(row.SetValueFromEditor(QStringLiteral("33.3")));
    EXPECT_TRUE(row.Spin(1));
    EXPECT_DOUBLE_EQ(row.Shown(), 34.0);
    EXPECT_TRUE(row.Spin(-2));
    EXPECT_DOUBLE_EQ(row.Shown(), 33.0);
    ASSERT_TRUE(row.SetValue(200));   // shown 100
    EXPECT_FALSE(row.Spin(1));
    EXPECT_DOUBLE_EQ(row.Shown(), 100);
    ASSERT_TRUE(row.SetValue(0));
    EXPECT_FALSE(row.Spin(-1));
    ASSERT_TRUE(row.SetValueFromEditor(QStringLiteral("99.8")));
    EXPECT_FALSE(row.Spin(1)) << "100.3 is more than half a step above max";
    ASSERT_TRUE(row.SetValueFromEditor(QStringLiteral("99.7")));
    EXPECT_TRUE(row.Spin(1)) << "100.2 is within half a step of max";
    EXPECT_DOUBLE_EQ(row.Shown(), 100.0);
}

TEST(RangeRow, ShownTextUsesTheLocalesDecimalSeparator)
{
    LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    CPropertySpinEditRangeItem row("r", 0, 5000, 0.5);
    row.SetValue(51);
    EXPECT_EQ(Shown(row), "25,5");
    row.SetValue(2001);
    EXPECT_EQ(Shown(row), "1000,5") << "no group separator";
    EXPECT_TRUE(row.SetValueFromEditor(QStringLiteral("12,5")));
    EXPECT_DOUBLE_EQ(row.Shown(), 12.5);
}

TEST(PropertyRows, EditListAndCheckRowsTakeOnlyValuesTheyCanHold)
{
    CPropertyEditItem edit("e");
    EXPECT_TRUE(edit.SetValueFromEditor(QStringLiteral(" -12 ")));
    for (const char* refused : {"abc", "12.5", ""})
        EXPECT_FALSE(edit.SetValueFromEditor(QString::fromLatin1(refused))) << refused;
    EXPECT_EQ(Shown(edit), "-12");

    CPropertyListItem list("l");
    EXPECT_EQ(Shown(list), "<none>") << "position -1 before the first text";
    list.AddText("off");
    list.AddText("on");
    EXPECT_EQ(Shown(list), "off");
    EXPECT_TRUE(list.SetValueFromEditor(1));
    EXPECT_FALSE(list.SetValue(2));
    EXPECT_EQ(Raw(list), 1);

    CPropertyCheckButtonItem check("c");
    check.SetValue(5);
    EXPECT_TRUE(check.IsChecked());
    EXPECT_EQ(Shown(check), "<none>");
}

namespace {

struct ListRecorder {
    std::vector<std::pair<int, IProperty*>> notes;
    int refused = 0;
    int redrawn = 0;
    explicit ListRecorder(CPropertyList& list)
    {
        QObject::connect(&list, &CPropertyList::notify, [this](int code, IProperty* row) { notes.push_back({code, row}); });
        QObject::connect(&list, &CPropertyList::refused, [this](IProperty*) { ++refused; });
        QObject::connect(&list, &CPropertyList::rowChanged, [this](IProperty*) { ++redrawn; });
    }
};

IProperty* AddRow(CPropertyList& list, std::unique_ptr<IProperty> row, const pugi::xml_node& element)
{
    row->SetItemData(element);
    return list.AddItem(std::move(row));
}

} // namespace

TEST(PropertyList, CollapseMovesRowsUpToTheNextCategoryIntoItAndExpandBringsThemBack)
{
    pugi::xml_document doc;
    doc.load_string("<a/><b/><c/><d/><e/>");
    std::vector<pugi::xml_node> e(doc.children().begin(), doc.children().end());
    CPropertyList list;
    ListRecorder rec(list);
    IProperty* first = AddRow(list, std::make_unique<CCategoryProperty>("first"), e[0]);
    AddRow(list, std::make_unique<CPropertyEditItem>("x"), e[1]);
    IProperty* y = AddRow(list, std::make_unique<CPropertyEditItem>("y"), e[2]);
    IProperty* second = AddRow(list, std::make_unique<CCategoryProperty>("second"), e[3]);
    IProperty* z = AddRow(list, std::make_unique<CPropertyEditItem>("z"), e[4]);
    EXPECT_EQ(first->Name(), "first");

    list.Select(4);
    ASSERT_TRUE(list.Collapse(first));
    EXPECT_FALSE(list.Collapse(first));
    EXPECT_FALSE(list.Collapse(y)) << "not a category";
    EXPECT_TRUE(list.IsCollapsed(first));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.At(1), second);
    EXPECT_EQ(list.Selected(), 2) << "the selection follows its row";
    EXPECT_EQ(list.IndexOf(y), -1);
    EXPECT_EQ(list.FindByItemData(e[2]), y) << "found among held rows";
    EXPECT_EQ(list.FindByItemData(e[4]), z);

    ASSERT_TRUE(list.Toggle(first));
    EXPECT_EQ(list.Count(), 5);
    EXPECT_EQ(list.At(2), y);
    EXPECT_EQ(list.Selected(), 4);
    EXPECT_EQ(rec.notes, (std::vector<std::pair<int, IProperty*>>{
                             {CPropertyList::NotifySelChanged, z},
                             {CPropertyList::NotifyCollapsed, first},
                             {CPropertyList::NotifyExpanded, first}}));

    list.Collapse(second);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Selected(), -1);
    EXPECT_EQ(list.FindByItemData(e[4]), nullptr);
}

TEST(PropertyList, CommitNotifiesChangingThenChangedEvenWhenRefusedAndSurvivesTheListBeingEmptied)
{
    CPropertyList list;
    ListRecorder rec(list);
    IProperty* row = list.AddItem(std::make_unique<CPropertyEditItem>("n"));
    EXPECT_TRUE(list.CommitValue(row, QStringLiteral("7"), true));
    EXPECT_FALSE(list.CommitValue(row, QStringLiteral("seven"), true));
    EXPECT_EQ(rec.refused, 1);
    EXPECT_EQ(rec.redrawn, 2);
    EXPECT_EQ(rec.notes, (std::vector<std::pair<int, IProperty*>>{
                             {CPropertyList::NotifyChanging, row}, {CPropertyList::NotifyChanged, row},
                             {CPropertyList::NotifyChanging, row}, {CPropertyList::NotifyChanged, row}}));
    EXPECT_EQ(Raw(*row), 7);

    // A failed write drops the link, which empties the list inside the
    // handler: the destroyed row is not redrawn.
    QObject::connect(&list, &CPropertyList::notify, [&list](int code, IProperty*) {
        if (code == CPropertyList::NotifyChanged)
            list.Clear();
    });
    EXPECT_TRUE(list.CommitValue(row, QStringLiteral("1"), true));
    EXPECT_EQ(rec.redrawn, 2);
    EXPECT_EQ(list.Count(), 0);
}
