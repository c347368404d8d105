#include <gtest/gtest.h>

#include "app/CMainController.h"
#include "common/CRecordingView.h"
#include "common/CScriptedPrompt.h"
#include "common/PatientLimits.h"
#include "common/CSimulatedLink.h"
#include "common/WaitFor.h"
#include "library/CDeviceLibrary.h"
#include "link/CSerialPort.h"

namespace {

// The firmware command brings a faster link down to the boot loader's 19200
// baud before the dialog opens, and leaves a link at 19200 alone.
TEST(FirmwareCommand, FasterLinksComeDownTo19200BeforeTheDialogOthersStay)
{
    for (const char* profile : {"full", "plain"}) {
        SCOPED_TRACE(profile);
        CEscSimulator::Options options;
        options.profile = profile;
        CSimulatedLink link(options);
        CDeviceLibrary library;
        ASSERT_TRUE(library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc")));
        CScriptedPrompt prompt;
        CRecordingView view;
        CMainController controller(link.Port(), link.ShortCollector(), library, prompt, view);
        controller.SetPortName(link.PortName());
        controller.Protocol().SetLimits(PatientLimits());
        controller.Open();
        ASSERT_TRUE(WaitFor([&] { return view.linkState == IMainView::LinkConnected; }, 10000));

        link.Sim().ClearFrames();
        ASSERT_TRUE(controller.PrepareFirmwareUpdate());
        EXPECT_EQ(link.Sim().DeviceBaud(), 19200);
        EXPECT_EQ(link.Port().LinkSpeed(), 19200);
        EXPECT_FALSE(controller.RefreshTimerRunning());
        bool speedFrame = false;
        for (const auto& frame : link.ReceivedFrames())
            speedFrame = speedFrame || (frame.size() == 5 && frame[1] == 'S');
        EXPECT_EQ(speedFrame, std::string(profile) == "full");
    }
}

}
