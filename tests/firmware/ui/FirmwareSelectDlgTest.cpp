#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>

#include "app/CMainController.h"
#include "app/ui/CMainDlg.h"
#include "app/ui/CWidgetPrompt.h"
#include "common/CCountingHost.h"
#include "common/CScriptedPrompt.h"
#include "common/CSimulatedLink.h"
#include "common/PatientLimits.h"
#include "common/TestApplication.h"
#include "common/WaitFor.h"
#include "common/TestFiles.h"
#include "firmware/FirmwareTestSupport.h"
#include "firmware/CFirmwareUploader.h"
#include "firmware/ui/CFirmwareSelectDlg.h"
#include "library/CDeviceLibrary.h"
#include "link/CDeviceProtocol.h"

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();
constexpr int kDeadlineMs = 20000;
using FirmwareTestSupport::Image;
using FirmwareTestSupport::UpdText;

bool IsStopQuestion(const CScriptedPrompt::Request& request)
{
    return request.text.startsWith(QStringLiteral("Stop the firmware upload?"));
}

// Stands for a message box that stays open: runs an event loop of its own,
// as a real box does (deferred deletions included), until the condition has
// held for a few rounds.
void KeepBoxOpenUntil(const std::function<bool()>& condition)
{
    QEventLoop loop;
    QTimer poll;
    int rounds = 0;
    const QDeadlineTimer deadline(kDeadlineMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        rounds += condition() ? 1 : 0;
        if (rounds >= 3 || deadline.hasExpired())
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    EXPECT_GE(rounds, 3) << "the condition did not come true while the box was open";
}

// A folder with one update file for device 3, hardware 1 (by default two
// good pages); the dialog on it, listed, the file selected.
struct OneFileDialog {
    OneFileDialog(CSimulatedLink& link, IPrompt& prompt, const QByteArray& text = UpdText(3, 1, "2.4", "", Image(288)))
        : protocol(link.Port(), link.ShortCollector(), host)
    {
        protocol.SetLimits(PatientLimits());
        path = TestFiles::Write(folder.path(), QStringLiteral("fw.upd"), text);
        folderSetting = folder.path();
        dlg = new CFirmwareSelectDlg(3, 1, folderSetting, link.Port(), protocol, prompt);
        dlg->setAttribute(Qt::WA_DeleteOnClose);
        dlg->show();
        dlg->FinishListing();
        if (dlg->List()->topLevelItemCount() == 1)
            dlg->List()->topLevelItem(0)->setSelected(true);
    }
    ~OneFileDialog() { delete dlg.data(); }

    QTemporaryDir folder;
    QString path;
    QString folderSetting;
    CCountingHost host;
    CDeviceProtocol protocol;
    QPointer<CFirmwareSelectDlg> dlg;
};

// The whole road of an outdated ESC: the offer at connection, the dialog
// listing the folder's files for this device, the checks and the question,
// the upload, and the reconnect that reports the new firmware.
TEST(FirmwareSelectDlg, OutdatedEscIsOfferedUpdatedAndReconnectedWithItsNewFirmware)
{
    CEscSimulator::Options options;
    options.profile = "deprecated";
    CSimulatedLink link(options);
    QTemporaryDir folder;
    const int devId = link.Sim().Cell(64);
    const int hardware = link.Sim().Cell(70);
    const std::vector<uint8_t> image = Image(2 * 144);
    for (const auto& [name, text] : {
             std::pair{"good.upd", UpdText(devId, hardware, "2.4", "Smoother start$", image)},
             std::pair{"other.upd", UpdText(devId, hardware + 1, "9.9", "", image)},
         })
        TestFiles::Write(folder.path(), QString::fromLatin1(name), text);

    CScriptedPrompt prompt;
    CTorvSettings settings = CTorvSettings::Defaults(QDir::tempPath());
    settings.port = link.PortName();
    settings.firmwareFolder = folder.path();
    auto library = std::make_unique<CDeviceLibrary>();
    ASSERT_TRUE(library->Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc")));
    CMainDlg dlg(settings, std::move(library), link.Port(), link.ShortCollector(), prompt);
    dlg.Controller().Protocol().SetLimits(PatientLimits());
    prompt.AnswerMessage(IPrompt::Answer::Yes);   // update right now?
    dlg.Open();

    ASSERT_TRUE(WaitFor([&] { return dlg.FirmwareDialog() != nullptr; }, kDeadlineMs));
    CFirmwareSelectDlg& firmware = *dlg.FirmwareDialog();
    firmware.Uploader().SetPageTimeoutMs(5000);   // no resend on a busy machine
    EXPECT_EQ(QApplication::activeModalWidget(), &firmware) << "the main window takes no input meanwhile";
    EXPECT_EQ(firmware.CurrentFirmwareText(), QStringLiteral("In the ESC: firmware %1.%2, hardware %3")
                                                  .arg(link.Sim().Cell(65))
                                                  .arg(link.Sim().Cell(66))
                                                  .arg(hardware));
    firmware.FinishListing();
    ASSERT_EQ(firmware.List()->topLevelItemCount(), 1);
    EXPECT_TRUE(firmware.ListingNote().isEmpty());
    EXPECT_FALSE(firmware.OkButton()->isEnabled());
    firmware.List()->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(firmware.OkButton()->isEnabled());

    prompt.AnswerMessage(IPrompt::Answer::Yes);   // upload it?
    firmware.OkButton()->click();
    EXPECT_TRUE(prompt.Messages().back().text.startsWith(
        QStringLiteral("Firmware file \"good.upd\" contains the firmware update \"2.4\".\r\nSmoother start\r\n")));
    EXPECT_TRUE(firmware.Progress()->isVisible());
    EXPECT_FALSE(firmware.OkButton()->isEnabled()) << "OK cannot start a second upload";

    // Cancel, and the upload ends while "Stop the firmware upload?" is open:
    // the window closes only after the answer, and the update counts.
    const QPointer<CFirmwareSelectDlg> open(&firmware);
    prompt.onMessage = [&](const CScriptedPrompt::Request& request) {
        if (IsStopQuestion(request))
            KeepBoxOpenUntil([&] { return !open.isNull() && !open->Uploading(); });
    };
    prompt.AnswerMessage(IPrompt::Answer::Yes);   // stop it? (too late)
    firmware.reject();
    prompt.onMessage = nullptr;

    ASSERT_TRUE(WaitFor([&] { return dlg.MessagePaneText().startsWith(QStringLiteral("Firmware updated")); },
                        kDeadlineMs));
    EXPECT_EQ(link.Sim().UploadedFirmware(), image);
    EXPECT_EQ(dlg.MessagePaneText(), QStringLiteral("Firmware updated: the ESC now reports firmware %1.%2.")
                                         .arg(link.Sim().Cell(65))
                                         .arg(link.Sim().Cell(66)));
    EXPECT_EQ(dlg.FirmwareDialog(), nullptr);
    EXPECT_EQ(dlg.Settings().firmwareFolder, folder.path());
}

TEST(FirmwareSelectDlg, ABrokenFileShowsItsLineThenTheSizeAndSendsNothing)
{
    CSimulatedLink link;
    ASSERT_TRUE(link.OpenPort(19200));
    QByteArray text = UpdText(3, 1, "2.4", "", Image(144));
    const int third = text.indexOf("[Hex]\n") + 6 + 2 * 37;
    text[third] = text[third] == '0' ? '1' : '0';
    CScriptedPrompt prompt;
    OneFileDialog files(link, prompt, text);
    ASSERT_EQ(files.dlg->List()->topLevelItemCount(), 1);
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    link.Sim().ClearFrames();
    files.dlg->OkButton()->click();
    const auto messages = prompt.Messages();
    ASSERT_EQ(messages.size(), 2U);
    EXPECT_EQ(messages[0].text, QStringLiteral("Corrupted firmware file \"%1\" - 4 line has wrong CRC").arg(files.path));
    EXPECT_EQ(messages[1].text,
              QStringLiteral("It seems that firmware file \"%1\" has wrong size 0.\r\nDo you want to upload it?").arg(files.path));
    EXPECT_EQ(messages[1].icon, IPrompt::Icon::Error);
    EXPECT_TRUE(link.ReceivedFrames().empty());
    EXPECT_FALSE(files.dlg->Uploading());
}

// A folder with update files for other ESCs only is said to hold none for
// this one; a folder with a long version widens the version column.
TEST(FirmwareSelectDlg, SaysWhenAFolderHoldsNoUpdateFileForThisEscAndWidensTheVersionColumn)
{
    CSimulatedLink link;
    CScriptedPrompt prompt;
    const QString longVersion = QStringLiteral("2.4.17-governor-release-rc1");
    OneFileDialog files(link, prompt, UpdText(3, 2, "2.4", "", Image(144)));
    EXPECT_EQ(files.dlg->List()->topLevelItemCount(), 0);
    EXPECT_EQ(files.dlg->ListingNote(),
              QStringLiteral("The folder \"%1\" holds no update file for this ESC (device 3, hardware 1). "
                             "Choose another folder with the \"...\" button.")
                  .arg(QDir::toNativeSeparators(files.folder.path())));
    files.dlg->SetCurrentFirmware(255, 255, 1);
    EXPECT_EQ(files.dlg->CurrentFirmwareText(), QStringLiteral("In the ESC: firmware none (erased), hardware 1"));

    QTemporaryDir other;
    TestFiles::Write(other.path(), QStringLiteral("long.upd"),
                     UpdText(3, 1, longVersion.toLatin1().constData(), "", Image(144)));
    prompt.AnswerBrowseFolder(other.path());
    files.dlg->findChild<QToolButton*>(QStringLiteral("browseFolder"))->click();
    files.dlg->FinishListing();
    ASSERT_EQ(files.dlg->List()->topLevelItemCount(), 1);
    EXPECT_TRUE(files.dlg->ListingNote().isEmpty());
    EXPECT_GE(files.dlg->List()->columnWidth(0), files.dlg->List()->fontMetrics().horizontalAdvance(longVersion));
}

// The upload fails (the ESC unplugged) while "Stop the firmware upload?" is
// open: the failure is told after the answer and the window closes then.
TEST(FirmwareSelectDlg, AFailureUnderTheStopQuestionIsToldAfterTheAnswer)
{
    CSimulatedLink link;
    ASSERT_TRUE(link.OpenPort(19200));
    CScriptedPrompt prompt;
    OneFileDialog files(link, prompt);
    files.dlg->Uploader().SetGiveUpMs(300);
    prompt.AnswerMessage(IPrompt::Answer::Yes);   // upload it?
    files.dlg->OkButton()->click();
    ASSERT_TRUE(files.dlg->Uploading());
    link.Sim().SetUnplugged(true);

    prompt.onMessage = [&](const CScriptedPrompt::Request& request) {
        if (IsStopQuestion(request))
            KeepBoxOpenUntil([&] { return !files.dlg.isNull() && !files.dlg->Uploading(); });
    };
    prompt.AnswerMessage(IPrompt::Answer::No);   // stop it? No
    prompt.AnswerMessage(IPrompt::Answer::Ok);   // the failure
    files.dlg->reject();
    const auto messages = prompt.Messages();
    ASSERT_EQ(messages.size(), 3U);
    EXPECT_TRUE(IsStopQuestion(messages[1]));
    EXPECT_TRUE(messages[2].text.contains(QStringLiteral("did not acknowledge page"))) << messages[2].text.toStdString();
    EXPECT_TRUE(WaitFor([&] { return files.dlg.isNull(); }, kDeadlineMs)) << "the window did not close";
}

// Enter alone never stops an upload: the focus is not on Cancel, and the
// stop question (a real message box) answers No to Enter.
TEST(FirmwareSelectDlg, EnterNeverStopsAnUpload)
{
    // The stop question is a real box; the others are scripted.
    class BoxPrompt : public CScriptedPrompt {
    public:
        Answer Message(const QString& text, const QString& caption, Icon icon, Buttons buttons) override
        {
            if (!text.startsWith(QStringLiteral("Stop the firmware upload?")))
                return CScriptedPrompt::Message(text, caption, icon, buttons);
            ++stopQuestions;
            return m_boxes.Message(text, caption, icon, buttons);
        }
        int stopQuestions = 0;

    private:
        CWidgetPrompt m_boxes;
    };

    CSimulatedLink link;
    ASSERT_TRUE(link.OpenPort(19200));
    BoxPrompt prompt;
    OneFileDialog files(link, prompt);
    CFirmwareSelectDlg& dlg = *files.dlg;
    dlg.Uploader().SetGiveUpMs(kDeadlineMs * 10);
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    dlg.List()->setFocus();
    ASSERT_TRUE(dlg.List()->hasFocus());
    prompt.AnswerMessage(IPrompt::Answer::Yes);   // upload it?
    dlg.OkButton()->click();
    link.Sim().SetUnplugged(true);   // the upload waits for an acknowledgement
    ASSERT_TRUE(dlg.Uploading());

    // Enter goes to the focused widget of whatever window is in front; the
    // second one to a box that the first key may have opened.
    const auto pressEnter = [] {
        QWidget* front = QApplication::activeModalWidget();
        QTest::keyClick(front->focusWidget() != nullptr ? front->focusWidget() : front, Qt::Key_Return);
    };
    const auto thenEnter = [&](const std::function<void()>& first) {
        bool pressed = false;
        QTimer::singleShot(0, [&] {
            pressEnter();
            pressed = true;
        });
        first();
        EXPECT_TRUE(WaitFor([&] { return pressed; }, kDeadlineMs));
    };
    thenEnter(pressEnter);
    EXPECT_TRUE(dlg.Uploading()) << "two presses of Enter stopped the upload";
    EXPECT_EQ(prompt.stopQuestions, 0) << "Enter reached Cancel";

    thenEnter([&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
    EXPECT_EQ(prompt.stopQuestions, 1);
    EXPECT_TRUE(dlg.Uploading()) << "Enter at the stop question stopped the upload";
}

}
