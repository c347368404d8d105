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
#include "common/CScriptedPrompt.h"
#include "common/CSimulatedLink.h"
#include "common/PatientLimits.h"
#include "common/TestApplication.h"
#include "common/WaitFor.h"
#include "firmware/FirmwareTestSupport.h"
#include "firmware/CFirmwareUploader.h"
#include "firmware/ui/CFirmwareSelectDlg.h"
#include "library/CDeviceLibrary.h"

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
         }) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

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

}
