#include "controls/CPropertyListCtrl.h"

#include "library/CCategoryProperty.h"
#include "library/CPropertyCheckButtonItem.h"
#include "library/CPropertyEditItem.h"
#include "library/CPropertyList.h"
#include "library/CPropertyListItem.h"
#include "library/CPropertyReadOnlyItem.h"
#include "library/CPropertySpinEditRangeItem.h"

#include "common/WaitFor.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QToolTip>
#include <QTest>

#include <gtest/gtest.h>

#include "common/TestApplication.h"

#include <memory>
#include <utility>
#include <vector>

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();

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
        cutoff = static_cast<CPropertySpinEditRangeItem*>(list.AddItem(std::move(range)));
        auto brakeRow = std::make_unique<CPropertyListItem>(QStringLiteral("Brake"));
        for (const char* text : {"Off", "Soft", "Hard"})
            brakeRow->AddText(QLatin1String(text));
        brake = static_cast<CPropertyListItem*>(list.AddItem(std::move(brakeRow)));
        reverse = static_cast<CPropertyCheckButtonItem*>(
            list.AddItem(std::make_unique<CPropertyCheckButtonItem>(QStringLiteral("Reverse"), false)));
        list.AddItem(std::make_unique<CPropertyReadOnlyItem>(QStringLiteral("Firmware"), QStringLiteral("1.2")));
        list.AddItem(std::make_unique<CCategoryProperty>(QStringLiteral("Battery")));
        list.AddItem(std::make_unique<CPropertyEditItem>(QStringLiteral("Cells"), QVariant(3)));

        QObject::connect(&list, &CPropertyList::notify,
                         [this](int code, IProperty* row) { notes.emplace_back(code, row); });
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
        QTest::mouseClick(ctrl.viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(ctrl.viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(ctrl.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    // Keys go where the focus is, as they would from the keyboard.
    void Key(Qt::Key key)
    {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, key);
    }
    void Type(const QString& text)
    {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClicks(focus, text);
    }
    void Select(int index)
    {
        Click(NameAt(index));
        notes.clear();
    }

    int CountOf(int code) const
    {
        int n = 0;
        for (const auto& note : notes)
            n += note.first == code ? 1 : 0;
        return n;
    }
    QString Shown(const IProperty* row) const
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
    CPropertySpinEditRangeItem* cutoff = nullptr;
    CPropertyListItem* brake = nullptr;
    CPropertyCheckButtonItem* reverse = nullptr;
    std::vector<std::pair<int, IProperty*>> notes;
    int beeps = 0;
};

}  // namespace

TEST_F(PropertyListCtrlTest, ClickSelectsTheRowAndNotifiesTheSelection)
{
    Click(NameAt(Timing));
    EXPECT_EQ(list.Selected(), Timing);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], std::make_pair(int(CPropertyList::NotifySelChanged), timing));
    // Clicking below the last row changes nothing.
    Click(QPoint(10, ctrl.viewport()->height() - 2));
    EXPECT_EQ(list.Selected(), Timing);
    EXPECT_EQ(ctrl.Editor(), nullptr);
}

TEST_F(PropertyListCtrlTest, NavigationKeysMoveTheSelectionWithinTheList)
{
    Key(Qt::Key_Down);
    EXPECT_EQ(list.Selected(), Motor);   // nothing selected: the first row
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    EXPECT_EQ(list.Selected(), Cutoff);
    Key(Qt::Key_Up);
    EXPECT_EQ(list.Selected(), Timing);
    Key(Qt::Key_End);
    EXPECT_EQ(list.Selected(), Cells);
    Key(Qt::Key_Down);
    EXPECT_EQ(list.Selected(), Cells);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(list.Selected(), Motor);
    Key(Qt::Key_Home);
    EXPECT_EQ(list.Selected(), Motor);
    EXPECT_EQ(CountOf(CPropertyList::NotifySelChanged), 6);
}

TEST_F(PropertyListCtrlTest, EnterOpensTheEditorOfEachRowKind)
{
    Select(Timing);
    Key(Qt::Key_Return);
    auto* edit = EditorNamed<QLineEdit>("InplacePropertyEdit");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), QStringLiteral("10"));
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->geometry().left(), ctrl.ValueRect(Timing).left());
    Key(Qt::Key_Escape);

    Select(Cutoff);
    Key(Qt::Key_F2);
    auto* spin = EditorNamed<QAbstractSpinBox>("InplacePropertySpinEdit");
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->text(), QStringLiteral("7"));
    Key(Qt::Key_Escape);

    Select(Brake);
    Key(Qt::Key_Enter);
    auto* combo = EditorNamed<QComboBox>("InplacePropertyList");
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(2), QStringLiteral("Hard"));
    EXPECT_EQ(combo->currentIndex(), 0);
    Key(Qt::Key_Escape);

    // Read-only rows have no editor; nothing was committed on the way.
    Select(Firmware);
    Key(Qt::Key_Return);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0);
}

TEST_F(PropertyListCtrlTest, DoubleClickOpensTheEditor)
{
    DoubleClick(ValueAt(Timing));
    EXPECT_NE(EditorNamed<QLineEdit>("InplacePropertyEdit"), nullptr);
    EXPECT_EQ(list.Selected(), Timing);
}

TEST_F(PropertyListCtrlTest, TypedValueCommitsOnEnter)
{
    Select(Timing);
    Key(Qt::Key_Return);
    Type(QStringLiteral("42"));
    Key(Qt::Key_Return);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(Shown(timing), QStringLiteral("42"));
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0], std::make_pair(int(CPropertyList::NotifyChanging), timing));
    EXPECT_EQ(notes[1], std::make_pair(int(CPropertyList::NotifyChanged), timing));
    EXPECT_EQ(beeps, 0);
    // The focus is back on the list, so the keys move the selection again.
    Key(Qt::Key_Down);
    EXPECT_EQ(list.Selected(), Cutoff);
}

TEST_F(PropertyListCtrlTest, RefusedValueBeepsAndIsStillReportedAsChanged)
{
    Select(Timing);
    Key(Qt::Key_Return);
    Type(QStringLiteral("abc"));
    Key(Qt::Key_Return);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(Shown(timing), QStringLiteral("10"));
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 1);

    // A range value far outside its bounds is refused the same way.
    Select(Cutoff);
    Key(Qt::Key_Return);
    Type(QStringLiteral("40"));
    Key(Qt::Key_Return);
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(Shown(cutoff), QStringLiteral("7"));
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 1);
}

TEST_F(PropertyListCtrlTest, EscapeCancelsWithoutCommitting)
{
    Select(Timing);
    Key(Qt::Key_Return);
    Type(QStringLiteral("99"));
    Key(Qt::Key_Escape);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(Shown(timing), QStringLiteral("10"));
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanging), 0);
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0);
    EXPECT_TRUE(ctrl.hasFocus());
}

TEST_F(PropertyListCtrlTest, ClickingAnotherRowCommitsTheOpenEditor)
{
    Select(Timing);
    Key(Qt::Key_Return);
    Type(QStringLiteral("12"));
    Click(NameAt(Cells));
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(Shown(timing), QStringLiteral("12"));
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 1);
    EXPECT_EQ(list.Selected(), Cells);
}

TEST_F(PropertyListCtrlTest, ListEditorCommitsTheChosenPosition)
{
    Select(Brake);
    Key(Qt::Key_Return);
    auto* combo = EditorNamed<QComboBox>("InplacePropertyList");
    ASSERT_NE(combo, nullptr);
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0);   // arrows only choose
    Key(Qt::Key_Return);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(brake->Position(), 2);
    EXPECT_EQ(Shown(brake), QStringLiteral("Hard"));
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 1);
}

TEST_F(PropertyListCtrlTest, ListEditorEscapeDropsTheArrowChoice)
{
    Select(Brake);
    Key(Qt::Key_Return);
    Key(Qt::Key_Down);
    Key(Qt::Key_Escape);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(brake->Position(), 0);
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0);
}

TEST_F(PropertyListCtrlTest, DoubleClickedListOpensItsDropDownAndAPickCommits)
{
    DoubleClick(ValueAt(Brake));
    auto* combo = EditorNamed<QComboBox>("InplacePropertyList");
    ASSERT_NE(combo, nullptr);
    notes.clear();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(WaitFor([view] { return view->isVisible(); }));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      view->visualRect(view->model()->index(1, 0)).center());
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(brake->Position(), 1);
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 1);
}

TEST_F(PropertyListCtrlTest, SpinArrowsMoveByOneStepAndCommitOnEnter)
{
    Select(Cutoff);
    Key(Qt::Key_Return);
    auto* spin = EditorNamed<QAbstractSpinBox>("InplacePropertySpinEdit");
    ASSERT_NE(spin, nullptr);
    Key(Qt::Key_Up);
    Key(Qt::Key_Up);
    Key(Qt::Key_Down);
    EXPECT_EQ(spin->text(), QStringLiteral("7.5"));
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0);
    Key(Qt::Key_Return);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(Shown(cutoff), QStringLiteral("7.5"));
    ASSERT_EQ(CountOf(CPropertyList::NotifyChanged), 1);
    QVariant raw;
    ASSERT_TRUE(cutoff->GetValue(raw));
    EXPECT_EQ(raw.toInt(), 15);
    EXPECT_EQ(beeps, 0);
}

TEST_F(PropertyListCtrlTest, SpinBeyondTheRangeBeepsAndEscapePutsTheValueBack)
{
    Select(Cutoff);
    Key(Qt::Key_Return);
    auto* spin = EditorNamed<QAbstractSpinBox>("InplacePropertySpinEdit");
    ASSERT_NE(spin, nullptr);
    for (int i = 0; i < 12; ++i)
        Key(Qt::Key_Up);   // 7 + 10 steps reaches 12; two more are refused
    EXPECT_EQ(spin->text(), QStringLiteral("12"));
    EXPECT_EQ(beeps, 2);
    Key(Qt::Key_Escape);
    EXPECT_EQ(Shown(cutoff), QStringLiteral("7"));
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0);
}

TEST_F(PropertyListCtrlTest, SpinStartsFromTypedText)
{
    Select(Cutoff);
    Key(Qt::Key_Return);
    Type(QStringLiteral("9"));
    Key(Qt::Key_Up);
    auto* spin = EditorNamed<QAbstractSpinBox>("InplacePropertySpinEdit");
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->text(), QStringLiteral("9.5"));
    Key(Qt::Key_Return);
    EXPECT_EQ(Shown(cutoff), QStringLiteral("9.5"));
}

TEST_F(PropertyListCtrlTest, CheckRowTogglesWithSpaceAndAClickOnItsBox)
{
    Select(Reverse);
    Key(Qt::Key_Space);
    EXPECT_TRUE(reverse->IsChecked());
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1], std::make_pair(int(CPropertyList::NotifyChanged), static_cast<IProperty*>(reverse)));
    Click(ValueAt(Reverse));
    EXPECT_FALSE(reverse->IsChecked());
    // A click on the label only selects.
    Click(NameAt(Reverse));
    EXPECT_FALSE(reverse->IsChecked());
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 2);
    EXPECT_EQ(ctrl.Editor(), nullptr);
}

TEST_F(PropertyListCtrlTest, CategoryCollapsesAndExpandsWithClicks)
{
    Click(NameAt(Motor));
    EXPECT_TRUE(list.IsCollapsed(list.At(Motor)));
    EXPECT_EQ(list.Count(), 3);   // Motor, Battery, Cells
    EXPECT_EQ(CountOf(CPropertyList::NotifyCollapsed), 1);
    Click(NameAt(Motor));
    EXPECT_FALSE(list.IsCollapsed(list.At(Motor)));
    EXPECT_EQ(list.Count(), Row::Count);
    EXPECT_EQ(CountOf(CPropertyList::NotifyExpanded), 1);
    EXPECT_EQ(list.At(Timing), timing);
}

TEST_F(PropertyListCtrlTest, CategoryCollapsesAndExpandsWithKeys)
{
    Select(Cutoff);
    Key(Qt::Key_Left);    // from a row: up to its category
    EXPECT_EQ(list.Selected(), Motor);
    Key(Qt::Key_Left);
    EXPECT_TRUE(list.IsCollapsed(list.At(Motor)));
    Key(Qt::Key_Left);    // already collapsed: nothing more
    EXPECT_EQ(CountOf(CPropertyList::NotifyCollapsed), 1);
    Key(Qt::Key_Right);
    EXPECT_FALSE(list.IsCollapsed(list.At(Motor)));
    Key(Qt::Key_Minus);
    Key(Qt::Key_Plus);
    Key(Qt::Key_Return);
    EXPECT_TRUE(list.IsCollapsed(list.At(Motor)));
    Key(Qt::Key_Space);
    EXPECT_FALSE(list.IsCollapsed(list.At(Motor)));
    EXPECT_EQ(CountOf(CPropertyList::NotifyCollapsed), 3);
    EXPECT_EQ(CountOf(CPropertyList::NotifyExpanded), 3);
}

TEST_F(PropertyListCtrlTest, CloseEditorRequestClosesTheEditorWithoutCommitting)
{
    Select(Timing);
    Key(Qt::Key_Return);
    Type(QStringLiteral("55"));
    list.CloseEditor();
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(Shown(timing), QStringLiteral("10"));
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0);
}

TEST_F(PropertyListCtrlTest, EditorClosesWhenItsRowLeavesTheList)
{
    Select(Cutoff);
    Key(Qt::Key_Return);
    Key(Qt::Key_Up);
    list.Collapse(list.At(Motor));
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(Shown(cutoff), QStringLiteral("7"));   // the spun value is put back
    list.Expand(list.At(Motor));

    Select(Timing);
    Key(Qt::Key_Return);
    list.Clear();
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_EQ(CountOf(CPropertyList::NotifyChanged), 0);
    QApplication::processEvents();
    Key(Qt::Key_Down);   // an empty list takes keys without harm
}

TEST_F(PropertyListCtrlTest, CommitWhoseHandlerEmptiesTheListIsSafe)
{
    // A failed write drops the link, which empties the list inside -3003.
    QObject::connect(&list, &CPropertyList::notify, &list, [this](int code, IProperty*) {
        if (code == CPropertyList::NotifyChanged)
            list.Clear();
    });
    Select(Timing);
    Key(Qt::Key_Return);
    Type(QStringLiteral("5"));
    Key(Qt::Key_Return);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    QApplication::processEvents();
}

TEST_F(PropertyListCtrlTest, DisabledRowsAndADisabledControlDoNotEdit)
{
    timing->SetEnabled(false);
    Select(Timing);
    Key(Qt::Key_Return);
    EXPECT_EQ(ctrl.Editor(), nullptr);

    Select(Cells);
    Key(Qt::Key_Return);
    ASSERT_NE(ctrl.Editor(), nullptr);
    ctrl.setEnabled(false);
    EXPECT_EQ(ctrl.Editor(), nullptr);
    EXPECT_FALSE(ctrl.EditRow(Cells));
}

TEST(PropertyListCtrl, KeepsTheSelectionInViewInALongList)
{
    CPropertyList list;
    for (int i = 0; i < 500; ++i)
        list.AddItem(std::make_unique<CPropertyEditItem>(QStringLiteral("Row %1").arg(i), QVariant(i)));
    CPropertyListCtrl ctrl;
    ctrl.SetList(&list);
    ctrl.resize(300, 200);
    ctrl.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ctrl));
    ctrl.setFocus();
    QTest::keyClick(&ctrl, Qt::Key_End);
    EXPECT_EQ(list.Selected(), 499);
    EXPECT_EQ(ctrl.verticalScrollBar()->value(), ctrl.verticalScrollBar()->maximum());
    EXPECT_TRUE(ctrl.viewport()->rect().contains(ctrl.RowRect(499)));
    EXPECT_EQ(ctrl.RowAt(ctrl.RowRect(499).center()), 499);

    // An editor opened on a row follows it when the list scrolls.
    ASSERT_TRUE(ctrl.EditRow(499));
    QTest::keyClick(&ctrl, Qt::Key_Home);   // the list does not have the focus: no effect
    ctrl.verticalScrollBar()->setValue(0);
    EXPECT_EQ(ctrl.Editor()->geometry().top(), ctrl.RowRect(499).top());
}

TEST(PropertyListCtrl, SplitFollowsTheRatioAndIsBounded)
{
    CPropertyListCtrl ctrl;
    ctrl.resize(400, 200);
    ctrl.SetSplitRatio(0.3);
    EXPECT_DOUBLE_EQ(ctrl.SplitRatio(), 0.3);
    ctrl.SetSplitRatio(2.0);
    EXPECT_DOUBLE_EQ(ctrl.SplitRatio(), 0.9);
    ctrl.SetSplitRatio(-1.0);
    EXPECT_DOUBLE_EQ(ctrl.SplitRatio(), 0.1);
}

TEST(PropertyListCtrl, CutShortLabelShowsInFullAsATooltip)
{
    const QString longName = QStringLiteral("Measured supply voltage at start-up of the motor");
    CPropertyList list;
    list.AddItem(std::make_unique<CPropertyReadOnlyItem>(longName, QStringLiteral("11.8")));
    list.AddItem(std::make_unique<CPropertyReadOnlyItem>(QStringLiteral("Cells"), QStringLiteral("3")));
    CPropertyListCtrl ctrl;
    ctrl.SetList(&list);
    ctrl.resize(240, 120);
    ctrl.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ctrl));

    auto askTip = [&ctrl](const QPoint& at) {
        QHelpEvent help(QEvent::ToolTip, at, ctrl.viewport()->mapToGlobal(at));
        QApplication::sendEvent(ctrl.viewport(), &help);
    };
    askTip(ctrl.NameRect(0).center());
    ASSERT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), longName);
    // Labels and values that fit show no tip (a tip fades out shortly).
    askTip(ctrl.NameRect(1).center());
    EXPECT_TRUE(WaitFor([] { return !QToolTip::isVisible(); }));
    askTip(ctrl.ValueRect(0).center());
    EXPECT_FALSE(QToolTip::isVisible());
}
