#include "controls/CPropertyListCtrl.h"

#include "library/CCategoryProperty.h"
#include "library/CPropertyCheckButtonItem.h"
#include "library/CPropertyEditItem.h"
#include "library/CPropertyList.h"
#include "library/CPropertyListItem.h"
#include "library/CPropertyReadOnlyItem.h"
#include "library/CPropertySpinEditRangeItem.h"

#include "common/TestApplication.h"
#include "common/WaitFor.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();

using Notes = std::vector<std::pair<int, IProperty*>>;

// Row positions of the sample list, top to bottom.
enum Row { Motor, Timing, Cutoff, Brake, Reverse, Firmware, Battery, Cells, Count };

class PropertyListCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        list.SetCategoriesStyle(true);
        list.AddItem(std::make_unique<CCategoryProperty>(QStringLiteral("Motor")));
        timing = list.AddItem(std::make_unique<CPropertyEditItem>(QStringLiteral("Timing"), QVariant(10)));
        auto range = std::make_unique<CPropertySpinEditRangeItem>(QStringLiteral("Cutoff voltage"), 5.0, 12.0, 0.5);
        range->SetValue(QVariant(14));   // 14 steps of 0.5: shows 7
        cutoff = list.AddItem(std::move(range));
        auto brakeRow = std::make_unique<CPropertyListItem>(QStringLiteral("Brake"));
        for (const char* text : {"Off", "Soft", "Hard"})
            brakeRow->AddText(QLatin1String(text));
        brake = static_cast<CPropertyListItem*>(list.AddItem(std::move(brakeRow)));
        reverse = static_cast<CPropertyCheckButtonItem*>(
            list.AddItem(std::make_unique<CPropertyCheckButtonItem>(QStringLiteral("Reverse"), false)));
        list.AddItem(std::make_unique<CPropertyReadOnlyItem>(QStringLiteral("Firmware"), QStringLiteral("1.2")));
        list.AddItem(std::make_unique<CCategoryProperty>(QStringLiteral("Battery")));
        list.AddItem(std::make_unique<CPropertyEditItem>(QStringLiteral("Cells"), QVariant(3)));

        QObject::connect(&list, &CPropertyList::notify, [this](int code, IProperty* row) { notes.emplace_back(code, row); });
        ctrl.SetBeep([this] { ++beeps; });
        ctrl.SetList(&list);
        ctrl.resize(360, 300);
        ctrl.show();
        ctrl.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&ctrl));
        ctrl.setFocus();
    }

    QPoint NameAt(int index) const { return ctrl.NameRect(index).center(); }
    QPoint ValueAt(int index) const { return ctrl.ValueRect(index).center(); }
    void Click(const QPoint& at) { QTest::mouseClick(ctrl.viewport(), Qt::LeftButton, Qt::NoModifier, at); }
    void DoubleClick(const QPoint& at)
    {
        Click(at);
        QTest::mouseDClick(ctrl.viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(ctrl.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    // Keys and text go where the focus is, as they would from the keyboard.
    void Key(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
    void Keys(std::initializer_list<Qt::Key> keys)
    {
        for (Qt::Key key : keys)
            Key(key);
    }
    void Type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }
    // Selects the row and opens its editor with Enter, forgetting the notes.
    void Edit(int index)
    {
        Click(NameAt(index));
        Key(Qt::Key_Return);
        notes.clear();
    }

    int CountOf(int code) const
    {
        return int(std::count_if(notes.begin(), notes.end(), [code](const auto& n) { return n.first == code; }));
    }
    static QString Shown(const IProperty* row)
    {
        QString text;
        row->GetDisplayText(text);
        return text;
    }
    template <typename T>
    T* EditorNamed(const char* name) const
    {
        auto* editor = qobject_cast<T*>(ctrl.Editor());
        return editor != nullptr && editor->objectName() == QLatin1String(name) ? editor : nullptr;
    }

    CPropertyList list;
    CPropertyListCtrl ctrl;
    IProperty* timing = nullptr;
    IProperty* cutoff = nullptr;
    CPropertyListItem* brake = nullptr;
    CPropertyCheckButtonItem* reverse = nullptr;
    Notes notes;
    int beeps = 0;
};

}  // namespace

TEST_F(PropertyListCtrlTest, NavigationKeysAndClicksSelectRowsAndNotifyEachChange)
{
    const std::pair<Qt::Key, int> steps[] = {{Qt::Key_Down, Motor}, {Qt::Key_Down, Timing}, {Qt::Key_Up, Motor},
                                             {Qt::Key_End, Cells}, {Qt::Key_Down, Cells}, {Qt::Key_PageUp, Motor},
                                             {Qt::Key_Home, Motor}};
    for (const auto& [key, selected] : steps) {
        Key(key);
        EXPECT_EQ(list.Selected(), selected) << key;
    }
    EXPECT_EQ(CountOf(CPropertyList::NotifySelChanged), 5);
    notes.clear();
    Click(NameAt(Timing));
    Click(QPoint(10, ctrl.viewport()->height() - 2));   // below the last row: nothing
    EXPECT_EQ(list.Selected(), Timing);
    EXPECT_EQ(notes, (Notes{{CPropertyList::NotifySelChanged, timing}}));
    EXPECT_EQ(ctrl.Editor(), nullptr);
}

TEST_F(PropertyListCtrlTest, EnterOrADoubleClickOpensTheEditorOfEachRowKindButNotOfReadOnlyOrDisabledRows)
{
    Edit(Timing);
    auto* edit = EditorNamed<QLineEdit>("InplacePropertyEdit");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), QStringLiteral("10"));
    EXPECT_EQ(edit->geometry().left(), ctrl.ValueRect(Timing).left());
    Key(Qt::Key_Escape);

    Click(NameAt(Cutoff));
    Key(Qt::Key_F2);
    auto* spin = EditorNamed<QAbstractSpinBox>("InplacePropertySpinEdit");
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->text(), QStringLiteral("7"));
    Key(Qt::Key_Escape);

    Click(NameAt(Brake));
    Key(Qt::Key_Enter);
    auto* combo = EditorNamed<QComboBox>("InplacePropertyList");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentIndex(), 0);
    Key(Qt::Key_Escape);

    DoubleClick(ValueAt(Timing));
    EXPECT_NE(EditorNamed<QLineEdit>("InplacePropertyEdit"), nullptr);
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0);
    Key(Qt::Key_Escape);

    // Read-only and disabled rows and a disabled control do not edit.
    Edit(Firmware);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    timing->SetEnabled(false);
    Edit(Timing);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    Edit(Cells);
    ASSERT_NE(ctrl.Editor(), nullptr);
    ctrl.setEnabled(false);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_FALSE(ctrl.EditRow(Cells));
}

// A typed value commits on Enter or when another row is clicked; a value the
// row refuses beeps and is still reported as changed.
TEST_F(PropertyListCtrlTest, TypedValueCommitsOnEnterOrWhenAnotherRowIsClickedARefusedOneBeeps)
{
    Edit(Timing);
    Type(QStringLiteral("42"));
    Key(Qt::Key_Return);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(Shown(timing), QStringLiteral("42"));
    EXPECT_EQ(notes, (Notes{{CPropertyList::NotifyChanging, timing}, {CPropertyList::NotifyChanged, timing}}));
    Key(Qt::Key_Down);
    EXPECT_EQ(list.Selected(), Cutoff) << "the focus is back on the list";

    Edit(Timing);
    Type(QStringLiteral("12"));
    Click(NameAt(Cells));
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(Shown(timing), QStringLiteral("12"));
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 1);
    EXPECT_EQ(list.Selected(), Cells);
    EXPECT_EQ(beeps, 0);

    Edit(Timing);
    Type(QStringLiteral("abc"));
    Key(Qt::Key_Return);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(Shown(timing), QStringLiteral("12"));
    EXPECT_EQ(notes, (Notes{{CPropertyList::NotifyChanging, timing}, {CPropertyList::NotifyChanged, timing}}));
}

TEST_F(PropertyListCtrlTest, EscapeACloseRequestOrTheRowLeavingTheListClosesTheEditorWithoutCommitting)
{
    Edit(Timing);
    Type(QStringLiteral("99"));
    Key(Qt::Key_Escape);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_TRUE(ctrl.hasFocus());
    EXPECT_TRUE(notes.empty());

    Edit(Timing);
    Type(QStringLiteral("55"));
    list.CloseEditor();
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(Shown(timing), QStringLiteral("10"));

    Edit(Cutoff);
    Key(Qt::Key_Up);
    list.Collapse(list.At(Motor));
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(Shown(cutoff), QStringLiteral("7")) << "the spun value is put back";
    list.Expand(list.At(Motor));

    Edit(Timing);
    list.Clear();
    EXPECT_EQ(ctrl.Editor(), nullptr);
    QApplication::processEvents();
    Key(Qt::Key_Down);   // an empty list takes keys without harm
    EXPECT_TRUE(notes.empty());
}

TEST_F(PropertyListCtrlTest, ListEditorCommitsAPickOrEnterButEscapeDropsTheArrowChoice)
{
    Edit(Brake);
    Keys({Qt::Key_Down, Qt::Key_Escape});
    EXPECT_EQ(brake->Position(), 0);
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0);

    Edit(Brake);
    Keys({Qt::Key_Down, Qt::Key_Down});
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0) << "arrows only choose";
    Key(Qt::Key_Return);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(Shown(brake), QStringLiteral("Hard"));
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 1);

    DoubleClick(ValueAt(Brake));   // opens the drop-down
    auto* combo = EditorNamed<QComboBox>("InplacePropertyList");
    ASSERT_NE(combo, nullptr);
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(WaitFor([view] { return view->isVisible(); }));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      view->visualRect(view->model()->index(1, 0)).center());
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(brake->Position(), 1);
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 2);
}

TEST_F(PropertyListCtrlTest, SpinArrowsStepFromTheTypedTextBeepAtTheLimitCommitOnEnterAndShowTenthsExactly)
{
    Edit(Cutoff);
    auto* spin = EditorNamed<QAbstractSpinBox>("InplacePropertySpinEdit");
    ASSERT_NE(spin, nullptr);
    Type(QStringLiteral("9"));
    Keys({Qt::Key_Up, Qt::Key_Up, Qt::Key_Down});
    EXPECT_EQ(spin->text(), QStringLiteral("9.5"));
    for (int i = 0; i < 7; ++i)
        Key(Qt::Key_Up);   // 9.5 + 5 steps reaches 12; two more are refused
    EXPECT_EQ(spin->text(), QStringLiteral("12"));
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0);
    Key(Qt::Key_Return);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    QVariant raw;
    ASSERT_TRUE(cutoff->GetValue(raw));
    EXPECT_EQ(raw.toInt(), 24);
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 1);

    // Editor and row show tenths without binary noise.
    auto tenths = std::make_unique<CPropertySpinEditRangeItem>(QStringLiteral("BEC voltage"), 5.0, 8.4, 0.1);
    tenths->SetValue(QVariant(77));   // 77 steps of 0.1
    IProperty* row = list.AddItem(std::move(tenths));
    Edit(list.IndexOf(row));
    spin = EditorNamed<QAbstractSpinBox>("InplacePropertySpinEdit");
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->text(), QStringLiteral("7.7"));
    Key(Qt::Key_Up);   // 78 * 0.1 is 7.800000000000001 in binary
    EXPECT_EQ(spin->text(), QStringLiteral("7.8"));
    Key(Qt::Key_Return);
    EXPECT_EQ(Shown(row), QStringLiteral("7.8"));
}

TEST_F(PropertyListCtrlTest, CheckRowTogglesWithSpaceAndAClickOnItsBox)
{
    Click(NameAt(Reverse));
    notes.clear();
    Key(Qt::Key_Space);
    EXPECT_TRUE(reverse->IsChecked());
    EXPECT_EQ(notes.back(), std::make_pair(int(CPropertyList::NotifyChanged), static_cast<IProperty*>(reverse)));
    Click(ValueAt(Reverse));
    EXPECT_FALSE(reverse->IsChecked());
    Click(NameAt(Reverse));   // a click on the label only selects
    EXPECT_FALSE(reverse->IsChecked());
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 2);
    EXPECT_EQ(ctrl.Editor(), nullptr);
}

TEST_F(PropertyListCtrlTest, CategoryCollapsesAndExpandsWithClicksAndKeys)
{
    Click(NameAt(Motor));
    EXPECT_TRUE(list.IsCollapsed(list.At(Motor)));
    EXPECT_EQ(list.Count(), 3);   // Motor, Battery, Cells
    Click(NameAt(Motor));
    EXPECT_EQ(list.Count(), Row::Count);
    EXPECT_EQ(list.At(Timing), timing);

    Click(NameAt(Cutoff));
    Key(Qt::Key_Left);   // from a row: up to its category
    EXPECT_EQ(list.Selected(), Motor);
    // The second Left finds Motor collapsed already; Return and Space toggle.
    const std::pair<Qt::Key, bool> steps[] = {{Qt::Key_Left, true}, {Qt::Key_Left, true}, {Qt::Key_Right, false},
                                              {Qt::Key_Minus, true}, {Qt::Key_Plus, false}, {Qt::Key_Return, true},
                                              {Qt::Key_Space, false}};
    for (const auto& [key, collapsed] : steps) {
        Key(key);
        EXPECT_EQ(list.IsCollapsed(list.At(Motor)), collapsed) << key;
    }
    EXPECT_EQ(CountOf(CPropertyList::NotifyCollapsed), 4);
    EXPECT_EQ(CountOf(CPropertyList::NotifyExpanded), 4);
}

TEST_F(PropertyListCtrlTest, CommitWhoseHandlerEmptiesTheListIsSafe)
{
    // A failed write drops the link, which empties the list inside -3003.
    QObject::connect(&list, &CPropertyList::notify, &list, [this](int code, IProperty*) {
        if (code == CPropertyList::NotifyChanged)
            list.Clear();
    });
    Edit(Timing);
    Type(QStringLiteral("5"));
    Key(Qt::Key_Return);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    QApplication::processEvents();
}

TEST_F(PropertyListCtrlTest, KeepsTheSelectionAndTheEditorWithTheirRowInALongList)
{
    for (int i = 0; i < 500; ++i)
        list.AddItem(std::make_unique<CPropertyEditItem>(QStringLiteral("Row %1").arg(i), QVariant(i)));
    const int last = list.Count() - 1;
    Key(Qt::Key_End);
    EXPECT_EQ(list.Selected(), last);
    EXPECT_TRUE(ctrl.viewport()->rect().contains(ctrl.RowRect(last)));
    EXPECT_EQ(ctrl.RowAt(ctrl.RowRect(last).center()), last);

    ASSERT_TRUE(ctrl.EditRow(last));
    ctrl.verticalScrollBar()->setValue(0);
    EXPECT_EQ(ctrl.Editor()->geometry().top(), ctrl.RowRect(last).top());
}

// The filter leaves matching rows under their categories; keys, clicks and
// editors work on the rows shown, and clearing brings every row back.
TEST_F(PropertyListCtrlTest, FilteredListSelectsAndEditsTheRowsItShows)
{
    ctrl.SetFilter(QStringLiteral("C"));
    ASSERT_EQ(ctrl.ShownRows(), (std::vector<IProperty*>{list.At(Motor), cutoff, list.At(Battery), list.At(Cells)}));
    Key(Qt::Key_Home);
    Key(Qt::Key_Down);
    EXPECT_EQ(list.Selected(), Cutoff);
    Click(NameAt(3));
    EXPECT_EQ(list.Selected(), Cells);
    ASSERT_TRUE(ctrl.EditRow(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("9"));
    Key(Qt::Key_Return);
    EXPECT_EQ(Shown(cutoff), QStringLiteral("9"));

    // A filter that hides the open editor's row closes the editor.
    ASSERT_TRUE(ctrl.EditRow(3));
    ctrl.SetFilter(QStringLiteral("cut"));
    EXPECT_EQ(ctrl.Editor(), nullptr);
    ctrl.SetFilter(QString());
    EXPECT_EQ(static_cast<int>(ctrl.ShownRows().size()), list.Count());
    EXPECT_EQ(list.Selected(), Cells);
}

TEST_F(PropertyListCtrlTest, CutShortLabelShowsInFullAsATooltip)
{
    const QString longName = QStringLiteral("Measured supply voltage at start-up of the motor, in volts");
    list.AddItem(std::make_unique<CPropertyReadOnlyItem>(longName, QStringLiteral("11.8")));
    const auto askTip = [this](const QPoint& at) {
        QHelpEvent help(QEvent::ToolTip, at, ctrl.viewport()->mapToGlobal(at));
        QApplication::sendEvent(ctrl.viewport(), &help);
    };
    askTip(NameAt(Row::Count));
    ASSERT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), longName);
    // Labels and values that fit show no tip (a tip fades out shortly).
    askTip(NameAt(Cells));
    EXPECT_TRUE(WaitFor([] { return !QToolTip::isVisible(); }));
    askTip(ValueAt(Row::Count));
    EXPECT_FALSE(QToolTip::isVisible());
}
