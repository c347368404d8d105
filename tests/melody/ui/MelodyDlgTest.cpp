#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>

#include "common/TestApplication.h"
#include "common/TestFiles.h"
#include "logger/LoggerTestSupport.h"
#include "melody/CMelodyCells.h"
#include "melody/CMelodyFile.h"
#include "melody/RecordingMidiOut.h"
#include "melody/ui/CMelodyDlg.h"

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();

// The dialog over the simulated full ESC, which keeps an 'A' melody, and a
// melody folder with a good file and a broken one.
class MelodyDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(esc.connected);
        esc.link->Sim().SetCell(128, 0xFF);  // no 'W' melody stored
        TestFiles::Write(dir.path(), "beep.tsm", "A \"Beep\" 7 C D E");
        TestFiles::Write(dir.path(), "bad.tsm", "A 'unclosed 7 C");
        TestFiles::Write(dir.path(), "end.tsm", "W 511 C D");  // lead byte 255
        folder = dir.path();
    }

    std::unique_ptr<CMelodyDlg> Open(std::shared_ptr<MidiRecord> record)
    {
        auto dlg = std::make_unique<CMelodyDlg>(folder, cells, esc.prompt, CRecordingMidiOut::Factory(record));
        EXPECT_TRUE(WaitFor([&dlg] { return !dlg->Listing(); }));
        return dlg;
    }

    // Selects the row whose file column reads file.
    static void Select(CMelodyDlg& dlg, const QString& file)
    {
        const QList<QTreeWidgetItem*> found = dlg.List()->findItems(file, Qt::MatchExactly, CMelodyDlg::ColumnFile);
        ASSERT_EQ(found.size(), 1) << file.toStdString();
        dlg.List()->setCurrentItem(found.front());
    }

    // Type and file of every row, top to bottom.
    static QStringList Files(const CMelodyDlg& dlg)
    {
        QStringList files;
        for (int i = 0; i < dlg.List()->topLevelItemCount(); ++i)
            files.append(dlg.Row(i).type + dlg.Row(i).file);
        return files;
    }

    static CMelodyRow RowOf(const CMelodyDlg& dlg, const QString& file)
    {
        for (int i = 0; i < dlg.List()->topLevelItemCount(); ++i) {
            if (dlg.Row(i).file == file)
                return dlg.Row(i);
        }
        return {};
    }

    LoggerTest::ConnectedEsc esc;
    CMelodyCells cells{*esc.session};
    QTemporaryDir dir;
    QString folder;
};

// Another folder becomes the setting and replaces the files below the ESC's
// melody.
TEST_F(MelodyDlgTest, ListsTheEscMelodyAboveTheChosenFolderAndEnablesPlayAndLoadForMelodyRowsOnly)
{
    auto dlg = Open(std::make_shared<MidiRecord>());
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Select melody file"));
    EXPECT_EQ(Files(*dlg), (QStringList{"AESC", " bad.tsm", "Abeep.tsm", " end.tsm"})) << "the ESC first, files by name";
    EXPECT_TRUE(dlg->List()->isColumnHidden(CMelodyDlg::ColumnMelody));
    EXPECT_EQ(dlg->FolderEdit()->text(), folder);
    const QList<QLabel*> labels = dlg->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&dlg](const QLabel* label) {
        return label->buddy() == dlg->FolderEdit() && label->text() == QStringLiteral("&Folder:");
    }));
    EXPECT_FALSE(dlg->PlayButton()->isEnabled());

    for (const char* refused : {"bad.tsm", "end.tsm"}) {
        Select(*dlg, refused);
        EXPECT_FALSE(dlg->PlayButton()->isEnabled()) << refused;
        EXPECT_FALSE(dlg->LoadButton()->isEnabled()) << refused;
    }
    const QList<QTreeWidgetItem*> end = dlg->List()->findItems("end.tsm", Qt::MatchExactly, CMelodyDlg::ColumnFile);
    EXPECT_EQ(end.front()->text(CMelodyDlg::ColumnDescription), CMelodyFile::kErrorLead.arg("511"));
    Select(*dlg, "ESC");
    EXPECT_TRUE(dlg->PlayButton()->isEnabled());
    EXPECT_TRUE(dlg->LoadButton()->isEnabled());

    QTemporaryDir other;
    TestFiles::Write(other.path(), "tune.tsm", "W 1 C");
    esc.prompt.AnswerBrowseFolder(other.path());
    dlg->BrowseButton()->click();
    ASSERT_TRUE(WaitFor([&dlg] { return !dlg->Listing(); }));
    EXPECT_EQ(esc.prompt.Requests().back().text, QStringLiteral("Folder Location"));
    EXPECT_EQ(folder, other.path());
    EXPECT_EQ(dlg->FolderEdit()->text(), other.path());
    EXPECT_EQ(Files(*dlg), (QStringList{"AESC", "Wtune.tsm"})) << "the ESC's melody stays";
}

TEST_F(MelodyDlgTest, PlayPreviewsTheSelectedMelodyAndLoadWritesItFromCell160)
{
    auto record = std::make_shared<MidiRecord>();
    auto dlg = Open(record);
    Select(*dlg, "beep.tsm");
    dlg->PlayButton()->click();
    EXPECT_FALSE(dlg->LoadButton()->isEnabled()) << "nothing else while the preview plays";
    ASSERT_TRUE(WaitFor([&dlg] { return !dlg->Preview().Playing(); }));
    ASSERT_EQ(record->messages.size(), 6u);
    EXPECT_EQ(record->messages.front().data1, 61);
    EXPECT_TRUE(dlg->LoadButton()->isEnabled());

    const QString before = RowOf(*dlg, "ESC").hex;
    dlg->LoadButton()->click();
    const std::array<uint8_t, 256> cellsNow = esc.link->Sim().Cells();
    EXPECT_EQ(std::vector<uint8_t>(cellsNow.begin() + 160, cellsNow.begin() + 165),
              (std::vector<uint8_t>{0x07, 0x01, 0x03, 0x05, 0xFF}));
    EXPECT_TRUE(esc.prompt.Messages().empty());
    // The ESC's row shows the melody it holds now, still on top.
    EXPECT_NE(before, RowOf(*dlg, "beep.tsm").hex);
    EXPECT_EQ(dlg->Row(0).file, QStringLiteral("ESC"));
    EXPECT_EQ(dlg->Row(0).hex, RowOf(*dlg, "beep.tsm").hex);
}

TEST_F(MelodyDlgTest, PlayTellsOnceWhyNothingCanBeHeard)
{
    auto through = std::make_shared<MidiRecord>();
    through->through = true;
    const struct {
        const char* name;
        std::shared_ptr<MidiRecord> record;   // none: no output can be opened
        const char* text;
    } cases[] = {
        {"no output", nullptr, "The MIDI output cannot be opened"},
        {"only Midi Through", through, "The melody plays on \"Midi Through\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = esc.prompt.Messages().size();
        auto dlg = Open(c.record);
        Select(*dlg, "ESC");
        esc.prompt.AnswerMessage(IPrompt::Answer::Ok);
        for (int play = 0; play < 2; ++play) {
            dlg->PlayButton()->click();
            ASSERT_TRUE(WaitFor([&dlg] { return !dlg->Preview().Playing(); }));
        }
        const std::vector<CScriptedPrompt::Request> messages = esc.prompt.Messages();
        ASSERT_EQ(messages.size(), before + 1);
        EXPECT_TRUE(messages.back().text.startsWith(c.text)) << messages.back().text.toStdString();
        EXPECT_TRUE(messages.back().text.contains("software synthesizer"));
        EXPECT_EQ(messages.back().caption, QStringLiteral("TORV"));
    }
    EXPECT_EQ(through->opened, 2) << "the melody still plays on Midi Through";
}

}
