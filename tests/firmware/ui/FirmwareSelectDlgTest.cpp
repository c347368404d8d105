#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "app/CMainController.h"
#include "app/ui/CMainDlg.h"
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
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(2 * 144);
    for (const auto& [name, text] : {
             std::pair{"good.upd", FirmwareTestSupport::UpdText(devId, hardware, "2.4", "Smoother start$", image)},
             std::pair{"other.upd", FirmwareTestSupport::UpdText(devId, hardware + 1, "9.9", "", image)},
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
    firmware.FinishListing();
    ASSERT_EQ(firmware.List()->topLevelItemCount(), 1);
    EXPECT_FALSE(firmware.OkButton()->isEnabled());
    firmware.List()->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(firmware.OkButton()->isEnabled());

    prompt.AnswerMessage(IPrompt::Answer::Yes);   // upload it?
    firmware.OkButton()->click();
    EXPECT_TRUE(prompt.Messages().back().text.startsWith(
        QStringLiteral("Firmware file \"good.upd\" contains the firmware update \"2.4\".\r\nSmoother start\r\n")));
    EXPECT_TRUE(firmware.Progress()->isVisible());
    EXPECT_FALSE(firmware.OkButton()->isEnabled()) << "OK cannot start a second upload";

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
    CCountingHost host;
    CDeviceProtocol protocol(link.Port(), link.ShortCollector(), host);
    QTemporaryDir folder;
    QByteArray text = FirmwareTestSupport::UpdText(3, 1, "2.4", "", FirmwareTestSupport::Image(144));
    const int third = text.indexOf("[Hex]\n") + 6 + 2 * 37;
    text[third] = text[third] == '0' ? '1' : '0';
    const QString broken = TestFiles::Write(folder.path(), QStringLiteral("broken.upd"), text);

    CScriptedPrompt prompt;
    QString folderSetting = folder.path();
    CFirmwareSelectDlg dlg(3, 1, folderSetting, link.Port(), protocol, prompt);
    dlg.FinishListing();
    ASSERT_EQ(dlg.List()->topLevelItemCount(), 1);
    dlg.List()->topLevelItem(0)->setSelected(true);
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    link.Sim().ClearFrames();
    dlg.OkButton()->click();
    const auto messages = prompt.Messages();
    ASSERT_EQ(messages.size(), 2U);
    EXPECT_EQ(messages[0].text, QStringLiteral("Corrupted firmware file \"%1\" - 4 line has wrong CRC").arg(broken));
    EXPECT_EQ(messages[1].text,
              QStringLiteral("It seems that firmware file \"%1\" has wrong size 0.\r\nDo you want to upload it?").arg(broken));
    EXPECT_EQ(messages[1].icon, IPrompt::Icon::Error);
    EXPECT_TRUE(link.ReceivedFrames().empty());
    EXPECT_FALSE(dlg.Uploading());
}

}
