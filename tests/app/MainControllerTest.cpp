#include <gtest/gtest.h>

#include <array>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "app/CMainCommands.h"
#include "app/CMainController.h"
#include "common/CRecordingView.h"
#include "common/CScriptedPrompt.h"
#include "common/FileSizeLimit.h"
#include "common/CSimulatedLink.h"
#include "common/PatientLimits.h"
#include "common/ScopedEnv.h"
#include "common/SimOptions.h"
#include "common/WaitFor.h"
#include "common/TestFiles.h"
#include "library/CDeviceLibrary.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kConnectDeadlineMs = 10000;

class MainControllerTest : public ::testing::Test {
protected:
    void Start(CEscSimulator::Options options = {}, const QByteArray& library = {})
    {
        link = std::make_unique<CSimulatedLink>(options);
        if (library.isEmpty())
            ASSERT_TRUE(m_library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc")));
        else
            ASSERT_TRUE(m_library.LoadFromBuffer(library));
        controller = std::make_unique<CMainController>(link->Port(), link->ShortCollector(), m_library, prompt, view);
        controller->Protocol().SetLimits(PatientLimits());
        controller->SetPortName(link->PortName());
        controller->Open();
    }

    bool WaitConnected()
    {
        return WaitFor([this] { return view.linkState == IMainView::LinkConnected; }, kConnectDeadlineMs);
    }

    IProperty* RowOfCell(int cell) const
    {
        return controller->List().FindByItemData(CDeviceLibrary::ParameterOfCell(controller->EscElement(), cell));
    }

    QString TextOf(IProperty* row) const
    {
        QString text;
        if (row != nullptr)
            row->GetDisplayText(text);
        return text;
    }

    std::vector<Bytes> WritesSeen() const
    {
        std::vector<Bytes> writes;
        for (const Bytes& frame : FramesWith(link->Sim(), 'w'))
            writes.push_back({frame[2], frame[3]});
        return writes;
    }

    QByteArray DeviceCells(int count) const
    {
        QByteArray bytes;
        for (int i = 0; i < count; ++i)
            bytes.append(static_cast<char>(link->Sim().Cell(i)));
        return bytes;
    }

    // Destroyed in reverse order: the controller before the link it uses.
    CScriptedPrompt prompt;
    CRecordingView view;
    CDeviceLibrary m_library;
    std::unique_ptr<CSimulatedLink> link;
    std::unique_ptr<CMainController> controller;
};

TEST_F(MainControllerTest, FullDeviceIsIdentifiedListedByCategoryAndUpgradedToTheFastestSpeed)
{
    Start();
    ASSERT_TRUE(WaitConnected());
    EXPECT_EQ(view.title, QStringLiteral("TORV - Brisko Pro 80 v 2.4"));
    EXPECT_EQ(view.message, QStringLiteral("Connected. Ready for programming."));
    EXPECT_TRUE(view.listShown);
    EXPECT_EQ(view.linkText, link->PortName() + QStringLiteral(" 460800"));
    EXPECT_EQ(link->Sim().DeviceBaud(), 460800);

    CPropertyList& list = controller->List();
    ASSERT_TRUE(list.CategoriesStyle());
    ASSERT_GT(list.Count(), 0);
    EXPECT_EQ(list.At(0)->Kind(), IProperty::KindCategory);
    EXPECT_EQ(list.At(0)->Name(), QStringLiteral("Motor"));
    QStringList categories;
    for (int i = 0; i < list.Count(); ++i) {
        if (list.At(i)->Kind() == IProperty::KindCategory)
            categories << list.At(i)->Name();
    }
    EXPECT_EQ(categories, (QStringList{"Motor", "Battery", "Brake", "Governor", "BEC", "Information", "General"}));
    EXPECT_TRUE(list.IsCollapsed(list.FindByItemData(m_library.Categories().find_child_by_attribute("name", "governor"))));

    EXPECT_TRUE(view.buttons[MainCommand::Curves]);
    EXPECT_TRUE(view.curvesDropDown);
    EXPECT_TRUE(view.buttons[MainCommand::MeasurementPanel]);
    EXPECT_EQ(TextOf(RowOfCell(7)), QStringLiteral("15"));
}

TEST_F(MainControllerTest, PlainDeviceIsListedFlatAndStaysAtTheStartSpeed)
{
    Start(SimOptions("plain"));
    ASSERT_TRUE(WaitConnected());
    EXPECT_EQ(view.title, QStringLiteral("TORV - Brisko Basic 25 v 1.3"));
    EXPECT_EQ(view.linkText, link->PortName() + QStringLiteral(" 19200"));
    EXPECT_FALSE(controller->List().CategoriesStyle());
    EXPECT_EQ(controller->List().Count(), 11);
    EXPECT_FALSE(controller->IsCommandAvailable(MainCommand::MeasurementPanel));
    // The library's curves belong to the Pro 80, not to this ESC.
    EXPECT_FALSE(view.buttons[MainCommand::Curves]);
    EXPECT_FALSE(view.curvesDropDown);
}

TEST_F(MainControllerTest, EditsAreWrittenHighCellFirstShowTheDevicesReadBackAndAFailedOneDropsTheLink)
{
    Start();
    ASSERT_TRUE(WaitConnected());
    CPropertyList& list = controller->List();

    link->Sim().ClearFrames();
    list.CommitValue(RowOfCell(7), QStringLiteral("20"), true);
    EXPECT_EQ(link->Sim().Cell(7), 20);
    EXPECT_EQ(TextOf(RowOfCell(7)), QStringLiteral("20"));

    link->Sim().ClearFrames();
    list.CommitValue(RowOfCell(4), QStringLiteral("1000"), true);
    EXPECT_EQ(WritesSeen(), (std::vector<Bytes>{{4, 3}, {5, 232}}));
    EXPECT_EQ(TextOf(RowOfCell(4)), QStringLiteral("1000"));

    list.CommitValue(RowOfCell(0), 2, true);   // "Forward/reverse with brake"
    EXPECT_EQ(link->Sim().Cell(0), 2);
    EXPECT_EQ(TextOf(RowOfCell(0)), QStringLiteral("Forward/reverse with brake"));

    list.CommitValue(RowOfCell(21), false, false);
    EXPECT_EQ(link->Sim().Cell(21), 0);
    list.CommitValue(RowOfCell(21), true, false);
    EXPECT_EQ(link->Sim().Cell(21), 1);

    // A number its cells cannot hold is refused: nothing is written and the
    // row shows the device's value again (300 would have arrived as 44).
    link->Sim().ClearFrames();
    const uint8_t before = link->Sim().Cell(20);
    list.CommitValue(RowOfCell(20), QStringLiteral("300"), true);
    EXPECT_TRUE(WritesSeen().empty());
    EXPECT_EQ(link->Sim().Cell(20), before);
    EXPECT_EQ(TextOf(RowOfCell(20)), QString::number(before));
    EXPECT_EQ(prompt.Beeps(), 1);

    // A refused edit beeps and still writes the unchanged value once.
    link->Sim().ClearFrames();
    list.CommitValue(RowOfCell(7), QStringLiteral("not a number"), true);
    EXPECT_EQ(prompt.Beeps(), 2);
    EXPECT_EQ(WritesSeen(), (std::vector<Bytes>{{7, 20}}));

    // A write the ESC does not take drops the link; the ESC is found again.
    link->Sim().SetUnplugged(true);
    list.CommitValue(RowOfCell(7), QStringLiteral("21"), true);
    EXPECT_EQ(view.linkState, IMainView::LinkWaiting);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(view.listShown);
    link->Sim().SetUnplugged(false);
    EXPECT_TRUE(WaitConnected());
}

TEST_F(MainControllerTest, UndoWritesEditsBackOneByOneAndRestoringDefaultsIsOneStep)
{
    Start();
    ASSERT_TRUE(WaitConnected());
    CPropertyList& list = controller->List();
    EXPECT_FALSE(controller->CanUndo());
    list.CommitValue(RowOfCell(7), QStringLiteral("20"), true);
    list.CommitValue(RowOfCell(4), QStringLiteral("1000"), true);
    const uint8_t high = link->Sim().Cell(4);
    const uint8_t low = link->Sim().Cell(5);

    // Undo writes the value before (high cell first) and shows the read-back.
    link->Sim().ClearFrames();
    ASSERT_TRUE(controller->HandleCommand(MainCommand::Undo));
    EXPECT_EQ(WritesSeen(), (std::vector<Bytes>{{4, 1}, {5, 244}}));
    EXPECT_EQ(TextOf(RowOfCell(4)), QStringLiteral("500"));
    EXPECT_TRUE(view.message.startsWith(QStringLiteral("Undone: "))) << view.message.toStdString();
    controller->Undo();
    EXPECT_EQ(link->Sim().Cell(7), 15);
    EXPECT_EQ(TextOf(RowOfCell(7)), QStringLiteral("15"));
    EXPECT_FALSE(controller->CanUndo());
    ASSERT_TRUE(controller->HandleCommand(MainCommand::Redo));
    EXPECT_EQ(link->Sim().Cell(7), 20);
    EXPECT_TRUE(view.message.startsWith(QStringLiteral("Redone: "))) << view.message.toStdString();
    controller->Redo();
    EXPECT_EQ(link->Sim().Cell(4), high);
    EXPECT_EQ(link->Sim().Cell(5), low);
    EXPECT_FALSE(controller->CanRedo());

    list.CommitValue(RowOfCell(21), false, false);
    const QByteArray edited = DeviceCells(64);
    ASSERT_TRUE(controller->HandleCommand(MainCommand::RestoreDefaults));
    ASSERT_EQ(link->Sim().Cell(7), 15);
    ASSERT_EQ(link->Sim().Cell(21), 1);
    controller->Undo();
    EXPECT_EQ(DeviceCells(64), edited);
    EXPECT_EQ(TextOf(RowOfCell(7)), QStringLiteral("20"));

    // An undo the ESC no longer takes drops the link as a failed edit does,
    // and the ESC is found again.
    list.CommitValue(RowOfCell(7), QStringLiteral("25"), true);
    link->Sim().SetUnplugged(true);
    controller->Undo();
    EXPECT_NE(view.linkState, IMainView::LinkConnected);
    link->Sim().SetUnplugged(false);
    EXPECT_TRUE(WaitConnected());
}

TEST_F(MainControllerTest, EachSetOfSettingsFoundInARunIsKeptAsOneBackup)
{
    QTemporaryDir data;
    const ScopedEnv dataHome("XDG_DATA_HOME", data.path().toUtf8());
    Start();
    ASSERT_TRUE(WaitConnected());
    const QDir folder(data.path() + QStringLiteral("/TORV/backups"));
    QStringList files = folder.entryList({QStringLiteral("*.escp")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files.front().startsWith(QStringLiteral("Brisko Pro 80-"))) << files.front().toStdString();
    const QByteArray kept = TestFiles::Read(folder.filePath(files.front()));
    ASSERT_EQ(kept.size(), 128);
    EXPECT_EQ(kept.left(64), DeviceCells(64));

    // Connecting to the same ESC again in this run keeps no second one.
    controller->HandleCommand(MainCommand::Refresh);
    ASSERT_TRUE(WaitConnected());
    files = folder.entryList({QStringLiteral("*.escp")}, QDir::Files);
    EXPECT_EQ(files.size(), 1);

    // Another ESC of the same type, with other settings, gets its own; the
    // undo steps taken on the first are not written into it.
    controller->List().CommitValue(RowOfCell(7), QStringLiteral("20"), true);
    link->Sim().SetUnplugged(true);
    controller->HandleCommand(MainCommand::Refresh);
    link->Sim().SetCell(7, 30);
    link->Sim().SetUnplugged(false);
    ASSERT_TRUE(WaitConnected());
    EXPECT_EQ(folder.entryList({QStringLiteral("*.escp")}, QDir::Files).size(), 2);
    link->Sim().ClearFrames();
    controller->Undo();
    EXPECT_TRUE(WritesSeen().empty());
    EXPECT_EQ(link->Sim().Cell(7), 30);
    EXPECT_FALSE(controller->CanUndo());
    EXPECT_TRUE(view.message.startsWith(QStringLiteral("The ESC no longer holds"))) << view.message.toStdString();
}

TEST_F(MainControllerTest, RefreshTicksRereadLiveValuesAndNoticeALostDevice)
{
    Start();
    ASSERT_TRUE(WaitConnected());
    // Every tick re-reads the parameters marked for refresh; this device
    // loads its cells in one range read.
    link->Sim().ClearFrames();
    const auto rangeReads = [this] {
        int count = 0;
        for (const Bytes& frame : link->ReceivedFrames())
            count += frame.size() == 5 && frame[1] == 'R' ? 1 : 0;
        return count;
    };
    EXPECT_TRUE(WaitFor([&] { return rangeReads() >= 2; }, kConnectDeadlineMs));
    const pugi::xml_node temperature =
        controller->EscElement().find_child_by_attribute("Parameter", "name", "Temperature");
    EXPECT_EQ(TextOf(controller->List().FindByItemData(temperature)),
              QStringLiteral("%1 °C").arg(link->Sim().Cell(58) - 40));

    // A power cycle: the ESC comes back at 19200 baud, and the new connection
    // raises the link again, so that the transfers after it run fast.
    ASSERT_EQ(link->Sim().DeviceBaud(), 460800);
    link->Sim().SetUnplugged(true);
    EXPECT_TRUE(WaitFor([&] { return view.linkState == IMainView::LinkWaiting; }, kConnectDeadlineMs));
    EXPECT_EQ(view.message, QStringLiteral("Waiting for ESC response..."));
    link->Sim().SetUnplugged(false);
    ASSERT_TRUE(WaitConnected());
    EXPECT_EQ(link->Sim().DeviceBaud(), 460800);
    EXPECT_EQ(view.linkText, link->PortName() + QStringLiteral(" 460800"));
    link->Sim().ClearFrames();
    std::array<uint8_t, 256> cells{};
    ASSERT_TRUE(controller->Protocol().LoadCells(0, 255, cells.data()));
    const std::vector<CEscSimulator::Frame> frames = link->Sim().Frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().bytes[1], 'R');
    EXPECT_EQ(frames.back().hostBaud, 460800);
}

TEST_F(MainControllerTest, DeprecatedFirmwareIsAskedAgainAfterNoAndYesEntersFirmwareMode)
{
    prompt.AnswerMessage(IPrompt::Answer::No);
    prompt.AnswerMessage(IPrompt::Answer::Yes);
    Start(SimOptions("deprecated"));
    ASSERT_TRUE(WaitFor([this] { return !view.postedCommands.empty(); }, kConnectDeadlineMs));
    EXPECT_EQ(view.postedCommands, std::vector<int>{MainCommand::FirmwareUpdate});
    EXPECT_EQ(view.message, QStringLiteral("Connected. Ready for fimware upload."));
    EXPECT_TRUE(controller->FirmwareMode());
    EXPECT_FALSE(controller->RefreshTimerRunning());
    ASSERT_EQ(prompt.Messages().size(), 2U);
    EXPECT_EQ(prompt.Messages()[1].icon, IPrompt::Icon::Question);
    EXPECT_TRUE(prompt.Messages()[1].text.startsWith(
        QStringLiteral("It is strongly recommended to update the firmware of your device.\r\n")));
}

TEST_F(MainControllerTest, CorruptedFirmwareOffersAnUploadAndNoReconnects)
{
    CEscSimulator::Options options;
    options.corruptedVersion255 = true;
    prompt.AnswerMessage(IPrompt::Answer::No);
    prompt.AnswerMessage(IPrompt::Answer::Yes);
    Start(options);
    ASSERT_TRUE(WaitFor([this] { return !view.postedCommands.empty(); }, kConnectDeadlineMs));
    ASSERT_EQ(prompt.Messages().size(), 2U);
    EXPECT_EQ(prompt.Messages()[0].icon, IPrompt::Icon::Warning);
    EXPECT_TRUE(prompt.Messages()[0].text.startsWith(QStringLiteral("It seems that your ESC has  corrupted firmware.")));
    EXPECT_TRUE(controller->FirmwareMode());
    EXPECT_EQ(view.linkState, IMainView::LinkConnected);
    EXPECT_EQ(view.message, QStringLiteral("Connected. Ready for fimware upload."));
}

TEST_F(MainControllerTest, ConnectionTimeQuestionsRunWithBothTimersStopped)
{
    // The ESC goes away while its cells load, so the load fails and asks.
    view.onMessage = [this](const QString& text) {
        if (text == QStringLiteral("ESC identified. Loading parameters..."))
            link->Sim().SetUnplugged(true);
    };
    bool timerUnderTheBox = true;
    prompt.onMessage = [&](const CScriptedPrompt::Request&) {
        timerUnderTheBox = controller->RefreshTimerRunning() || controller->ConnectTimerRunning();
        view.onMessage = nullptr;
        link->Sim().SetUnplugged(false);
    };
    prompt.AnswerMessage(IPrompt::Answer::Yes);
    Start(SimOptions("plain"));
    ASSERT_TRUE(WaitFor([this] { return prompt.Messages().size() == 1; }, kConnectDeadlineMs));
    EXPECT_EQ(prompt.Messages()[0].text, QStringLiteral("Unable to load some cell values\nReconnect?"));
    EXPECT_FALSE(timerUnderTheBox);
    prompt.onMessage = nullptr;
    EXPECT_TRUE(WaitConnected());
}

TEST_F(MainControllerTest, EscStrandedAtARaisedSpeedIsFoundAgainAndClosingReturnsItTo19200)
{
    Start();
    ASSERT_TRUE(WaitConnected());
    ASSERT_EQ(link->Sim().DeviceBaud(), 460800);
    // The program dies without leaving the link: the ESC stays at 460800.
    controller.reset();
    link->Port().Close();
    controller = std::make_unique<CMainController>(link->Port(), link->ShortCollector(), m_library, prompt, view);
    controller->SetPortName(link->PortName());
    view.linkState = IMainView::LinkClosed;
    controller->Open();
    ASSERT_TRUE(WaitConnected());
    EXPECT_GE(controller->AttemptCount(), CDeviceSession::kRescueAfterFailures);
    ASSERT_EQ(link->Sim().DeviceBaud(), 460800);

    controller->Close();
    EXPECT_TRUE(WaitFor([this] { return link->Sim().DeviceBaud() == 19200; }));
    EXPECT_FALSE(controller->ConnectTimerRunning());
    EXPECT_FALSE(controller->RefreshTimerRunning());
}

const char* const kBrokenFormulaLibrary = R"xml(<?xml version="1.0"?>
<Lib start_timeout="50">
  <ESC id="5" name="Broken">
    <Parameter name="Cut-off" type="range" cell="2" min="0" max="10" step="1"/>
    <Parameter name="Bad" type="formula" formula="cell(300)"/>
    <Parameter name="Dead band" type="number" cell="8"/>
  </ESC>
</Lib>)xml";

TEST_F(MainControllerTest, ABrokenFormulaShowsAnErrorWhileEveryOtherRowLoads)
{
    Start(SimOptions("plain"), kBrokenFormulaLibrary);
    ASSERT_TRUE(WaitConnected());
    EXPECT_TRUE(prompt.Messages().empty()) << "a formula fault is no failed load";
    EXPECT_TRUE(view.listShown);
    EXPECT_EQ(TextOf(RowOfCell(2)), QStringLiteral("4"));
    EXPECT_EQ(TextOf(RowOfCell(8)), QString::number(link->Sim().Cell(8))) << "rows after the formula load too";
    const pugi::xml_node bad = controller->EscElement().find_child_by_attribute("Parameter", "name", "Bad");
    EXPECT_EQ(TextOf(controller->List().FindByItemData(bad)), QStringLiteral("parser error"));
}

TEST_F(MainControllerTest, PortLostDuringTheSpeedUpgradeStartsOverInsteadOfShowingAConnection)
{
    QTemporaryDir dir;
    CEscSimulator::Options options;
    options.symlinkPath = dir.filePath(QStringLiteral("esc")).toStdString();
    // Once the list is built the link's name disappears: the open port keeps
    // working, but reopening it at the raised speed fails.
    bool removed = false;
    view.onTitle = [&](const QString& title) {
        if (title.startsWith(QStringLiteral("TORV - ")))
            removed = QFile::remove(QString::fromStdString(options.symlinkPath));
    };
    Start(options);
    ASSERT_TRUE(WaitFor([&removed] { return removed; }, kConnectDeadlineMs));
    view.onTitle = nullptr;
    EXPECT_EQ(view.linkState, IMainView::LinkWaiting);
    EXPECT_FALSE(controller->Connected());
    EXPECT_FALSE(controller->RefreshTimerRunning());
    EXPECT_TRUE(controller->ConnectTimerRunning());
    // The message pane says why the connection was dropped.
    EXPECT_TRUE(view.message.startsWith(QStringLiteral("The link was lost while raising its speed ("))) << view.message.toStdString();
    EXPECT_TRUE(view.message.contains(QStringLiteral("No such file"))) << view.message.toStdString();
}

// The port setup reconnects within its speed bound; a port that cannot be
// opened stops the attempts and the message pane says why.
TEST_F(MainControllerTest, PortSetupReconnectsWithinItsSpeedBoundOrSaysWhyThePortCannotBeOpened)
{
    Start();
    ASSERT_TRUE(WaitConnected());
    // The "default settings" bound never raises the link.
    controller->ApplyPortSetup(link->PortName(), -19200);
    EXPECT_EQ(view.linkState, IMainView::LinkWaiting);
    ASSERT_TRUE(WaitConnected());
    EXPECT_EQ(link->Sim().DeviceBaud(), 19200);
    EXPECT_EQ(view.linkText, link->PortName() + QStringLiteral(" 19200"));

    controller->ApplyPortSetup(QStringLiteral("/dev/torv-no-such-port"), 19200);
    ASSERT_TRUE(WaitFor([this] { return view.linkState == IMainView::LinkClosed; }, kConnectDeadlineMs));
    EXPECT_TRUE(view.message.contains(QStringLiteral("no such device")));
    EXPECT_FALSE(controller->ConnectTimerRunning());
    EXPECT_FALSE(controller->HandleCommand(MainCommand::Refresh));
    EXPECT_FALSE(controller->HandleCommand(MainCommand::SaveParameters));
    EXPECT_FALSE(controller->HandleCommand(MainCommand::RestoreDefaults));

    CSerialPort other;
    ASSERT_TRUE(other.Open(link->PortName(), 19200));
    controller->ApplyPortSetup(link->PortName(), 19200);
    EXPECT_EQ(view.linkState, IMainView::LinkWaiting);
    ASSERT_TRUE(WaitFor([this] { return view.linkState == IMainView::LinkClosed; }, kConnectDeadlineMs));
    EXPECT_TRUE(view.message.contains(QStringLiteral("another program holds the port"))) << view.message.toStdString();
    other.Close();
}

class ParameterFileTest : public MainControllerTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Start();
        ASSERT_TRUE(WaitConnected());
        // A file load is 64 writes with their read-backs: every one of them
        // has to make it on a busy machine.
        controller->Protocol().SetLimits(PatientLimits(2000));
    }

    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    // Writes the file into the test's folder and returns its path.
    QString Write(const char* name, const QByteArray& bytes) const { return TestFiles::Write(dir.path(), name, bytes); }

    QTemporaryDir dir;
};

TEST_F(ParameterFileTest, SaveAndLoadRoundTripThroughTheDeviceSayWhatTheyDidAndTheLoadIsOneUndoStep)
{
    const QString path = Path("pro80.escp");
    prompt.AnswerSaveFile(path);
    ASSERT_TRUE(controller->HandleCommand(MainCommand::SaveParameters));
    const QByteArray saved = TestFiles::Read(path);
    ASSERT_EQ(saved.size(), 128);
    EXPECT_EQ(saved, DeviceCells(128));
    EXPECT_EQ(view.message, QStringLiteral("Saved 128 cells to ") + path);

    controller->List().CommitValue(RowOfCell(7), QStringLiteral("28"), true);
    controller->List().CommitValue(RowOfCell(0), 2, true);
    ASSERT_EQ(link->Sim().Cell(7), 28);
    const uint8_t edited0 = link->Sim().Cell(0);
    ASSERT_NE(edited0, static_cast<uint8_t>(saved[0]));
    prompt.AnswerOpenFile(path);
    ASSERT_TRUE(controller->HandleCommand(MainCommand::LoadParameters));
    EXPECT_EQ(link->Sim().Cell(7), static_cast<uint8_t>(saved[7]));
    EXPECT_EQ(link->Sim().Cell(0), static_cast<uint8_t>(saved[0]));
    EXPECT_EQ(controller->SaveFolder(), dir.path());
    EXPECT_TRUE(prompt.Messages().empty());
    EXPECT_TRUE(WaitConnected());
    EXPECT_EQ(TextOf(RowOfCell(7)), QStringLiteral("15"));
    // The line outlives the reconnect that the load ends with.
    EXPECT_TRUE(view.message.startsWith(QStringLiteral("Loaded "))) << view.message.toStdString();
    EXPECT_TRUE(view.message.endsWith(QStringLiteral(" settings from ") + path)) << view.message.toStdString();

    // One undo takes the whole load back, written and read back; the edits
    // before it are steps of their own.
    ASSERT_TRUE(controller->CanUndo());
    controller->Undo();
    EXPECT_EQ(link->Sim().Cell(7), 28);
    EXPECT_EQ(link->Sim().Cell(0), edited0);
    EXPECT_EQ(TextOf(RowOfCell(7)), QStringLiteral("28"));
    controller->Undo();
    EXPECT_EQ(link->Sim().Cell(0), static_cast<uint8_t>(saved[0]));
    EXPECT_EQ(link->Sim().Cell(7), 28);
    controller->Redo();
    EXPECT_EQ(link->Sim().Cell(0), edited0);
}

TEST_F(ParameterFileTest, ShortFilesAreRefusedAndLongFilesUseTheFirst128Bytes)
{
    QByteArray cells = DeviceCells(128);
    const QString shortFile = Write("short.escp", cells.left(127));
    prompt.AnswerOpenFile(shortFile);
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    controller->HandleCommand(MainCommand::LoadParameters);
    ASSERT_EQ(prompt.Messages().size(), 1U);
    EXPECT_EQ(prompt.Messages()[0].text, QStringLiteral("Unable to read file"));
    // Compared, a short or missing file is refused alike, and nothing is shown.
    for (const QString& file : {shortFile, Path("missing.escp")}) {
        prompt.AnswerOpenFile(file);
        prompt.AnswerMessage(IPrompt::Answer::Ok);
        EXPECT_FALSE(controller->CompareWithFile()) << file.toStdString();
    }
    ASSERT_EQ(prompt.Messages().size(), 3U);
    EXPECT_EQ(prompt.Messages()[1].text, QStringLiteral("Unable to read file"));
    EXPECT_EQ(prompt.Messages()[2].text, QStringLiteral("Unable to open file"));

    cells[7] = 22;
    cells[100] = 0x55;   // beyond the settings: never written
    prompt.AnswerOpenFile(Write("long.escp", cells + QByteArray("trailing")));
    link->Sim().ClearFrames();
    controller->HandleCommand(MainCommand::LoadParameters);
    EXPECT_EQ(link->Sim().Cell(7), 22);
    EXPECT_NE(link->Sim().Cell(100), 0x55);
    EXPECT_EQ(WritesSeen().size(), 64U);
}

// A file of another ESC type or revision, or with values the library does
// not allow, is asked about before anything is written: No writes nothing,
// Yes loads the file.
TEST_F(ParameterFileTest, FilesOfAnotherEscOrWithValuesOutsideTheLibraryAskAndNoWritesNothing)
{
    const QString otherEsc =
        QStringLiteral("The ESC type and/or revision does not match the parameters file.\nDo you want to continue?");
    const struct {
        int identityCell;   // 64 holds the ESC type, 65 the revision; 0: the ESC's own
        uint8_t timing;     // the file's Timing (deg), which allows 0 to 30
        QString question;
        QString shown;
    } cases[] = {
        {64, 29, otherEsc, QStringLiteral("29")},
        {65, 29, otherEsc, QStringLiteral("29")},
        {0, 31,
         QStringLiteral("The file holds values that the device library does not allow:\n"
                        "Timing (deg): 31 (not in the library)\nDo you want to load them anyway?"),
         QStringLiteral("31 (not in the library)")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identityCell);
        ASSERT_TRUE(WaitConnected());
        link->Sim().SetCell(7, 15);
        const size_t asked = prompt.Messages().size();
        QByteArray cells = DeviceCells(128);
        if (c.identityCell != 0)
            cells[c.identityCell] = static_cast<char>(cells[c.identityCell] + 1);
        cells[7] = static_cast<char>(c.timing);
        const QString file = Write("asked.escp", cells);
        prompt.AnswerOpenFile(file);
        prompt.AnswerMessage(IPrompt::Answer::No);
        link->Sim().ClearFrames();
        // Busy once the file dialog has closed, never under the question.
        view.busy.clear();
        std::vector<bool> busyUnderQuestion;
        prompt.onMessage = [&](const CScriptedPrompt::Request&) { busyUnderQuestion = view.busy; };
        controller->HandleCommand(MainCommand::LoadParameters);
        prompt.onMessage = nullptr;
        EXPECT_EQ(busyUnderQuestion, (std::vector<bool>{true, false}));
        EXPECT_EQ(view.busy, (std::vector<bool>{true, false, true, false}));
        ASSERT_EQ(prompt.Messages().size(), asked + 1);
        EXPECT_EQ(prompt.Messages().back().text, c.question);
        EXPECT_TRUE(WritesSeen().empty());
        EXPECT_EQ(link->Sim().Cell(7), 15);

        prompt.AnswerOpenFile(file);
        prompt.AnswerMessage(IPrompt::Answer::Yes);
        controller->HandleCommand(MainCommand::LoadParameters);
        EXPECT_EQ(link->Sim().Cell(7), c.timing);
        ASSERT_TRUE(WaitConnected());
        EXPECT_EQ(TextOf(RowOfCell(7)), c.shown);
    }
}

// A save that cannot reach the disk, targets no regular file or cannot read
// the ESC leaves the file that was there as it was.
TEST_F(ParameterFileTest, FailedSaveKeepsWhatWasThere)
{
    const QByteArray previous("the user's earlier backup, which must survive");
    const QString path = Write("keep.escp", previous);
    prompt.AnswerSaveFile(path);
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    {
        const FileSizeLimit nearlyFullDisk(64);
        controller->HandleCommand(MainCommand::SaveParameters);
    }
    ASSERT_EQ(prompt.Messages().size(), 1U);
    EXPECT_EQ(prompt.Messages()[0].text, QStringLiteral("Unable to write to file"));
    EXPECT_EQ(TestFiles::Read(path), previous);

    const QString fifo = Path("pipe.escp");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    prompt.AnswerSaveFile(fifo);
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    controller->HandleCommand(MainCommand::SaveParameters);
    ASSERT_EQ(prompt.Messages().size(), 2U);
    EXPECT_EQ(prompt.Messages()[1].text, QStringLiteral("Unable to open file"));
    EXPECT_FALSE(QFileInfo(fifo).isFile());

    controller->Image().InvalidateCell(-1);
    link->Sim().SetUnplugged(true);
    prompt.AnswerSaveFile(path);
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    controller->HandleCommand(MainCommand::SaveParameters);
    ASSERT_EQ(prompt.Messages().size(), 3U);
    EXPECT_EQ(prompt.Messages()[2].text, QStringLiteral("Unable to get response on reading the 0 cell\nReconnecting..."));
    EXPECT_EQ(TestFiles::Read(path), previous);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.escp"});
    EXPECT_EQ(view.linkState, IMainView::LinkWaiting);
    link->Sim().SetUnplugged(false);
}

TEST_F(ParameterFileTest, LoadIntoAnEscThatVanishedStopsWithOneMessage)
{
    QByteArray cells = DeviceCells(128);
    cells[65] = static_cast<char>(cells[65] + 1);
    const QString other = Write("other.escp", cells);
    prompt.AnswerOpenFile(other);
    // The ESC is unplugged while the user reads the type question.
    prompt.onMessage = [this](const CScriptedPrompt::Request&) { link->Sim().SetUnplugged(true); };
    prompt.AnswerMessage(IPrompt::Answer::Yes);
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    controller->HandleCommand(MainCommand::LoadParameters);
    prompt.onMessage = nullptr;
    ASSERT_EQ(prompt.Messages().size(), 2U);
    EXPECT_EQ(prompt.Messages()[1].text, QStringLiteral("Unable to get response on writing the 0 cell\nReconnecting..."));
    EXPECT_EQ(view.linkState, IMainView::LinkWaiting);
    link->Sim().SetUnplugged(false);
    EXPECT_TRUE(WaitConnected());

    // A compare with an ESC that no longer gives its identity says so and
    // looks for the ESC again; nothing is shown.
    link->Sim().SetUnplugged(true);
    prompt.AnswerOpenFile(other);
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    controller->Protocol().SetLimits(CDeviceProtocol::Limits{});  // the reads are meant to fail
    EXPECT_FALSE(controller->CompareWithFile());
    controller->Protocol().SetLimits(PatientLimits(2000));
    ASSERT_EQ(prompt.Messages().size(), 3U);
    EXPECT_TRUE(prompt.Messages()[2].text.startsWith(QStringLiteral("Unable to get response on reading 64 or 65 cells")));
    EXPECT_EQ(view.linkState, IMainView::LinkWaiting);
    link->Sim().SetUnplugged(false);
    EXPECT_TRUE(WaitConnected());
}

}
