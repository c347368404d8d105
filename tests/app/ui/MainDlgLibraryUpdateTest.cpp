#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "app/CMainCommands.h"
#include "app/CMainController.h"
#include "app/ui/CMainDlg.h"
#include "common/CHttpTestServer.h"
#include "common/CScriptedPrompt.h"
#include "common/CSimulatedLink.h"
#include "common/PatientLimits.h"
#include "common/TestApplication.h"
#include "common/TestFiles.h"
#include "common/WaitFor.h"
#include "library/CDeviceLibrary.h"

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();

const QString kSample = QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc");

// The sample library with another version and another name for the
// simulated ESC's entry.
QByteArray ChangedSample(const char* version, const char* name)
{
    QByteArray bytes = TestFiles::Read(kSample);
    bytes.replace("version=\"2.14\"", QByteArray("version=\"") + version + "\"");
    bytes.replace("id=\"3.2.4\" name=\"Brisko Pro 80\"", QByteArray("id=\"3.2.4\" name=\"") + name + "\"");
    return bytes;
}

// A window connected to a simulated ESC, with its library in a file of its
// own and the update URL pointing at a local server.
class MainDlgLibraryUpdate : public ::testing::Test {
protected:
    void SetUp() override
    {
        libraryPath = TestFiles::Write(QDir(dir.path()), QStringLiteral("Brisko.esc"), TestFiles::Read(kSample));
        qputenv("TORV_UPDATE_URL", server.Url().toUtf8());
        CTorvSettings settings = CTorvSettings::Defaults(dir.path());
        settings.port = link.PortName();
        settings.escFile = libraryPath;
        auto library = std::make_unique<CDeviceLibrary>();
        ASSERT_TRUE(library->Load(libraryPath));
        dlg = std::make_unique<CMainDlg>(settings, std::move(library), link.Port(), link.ShortCollector(), prompt);
        dlg->Controller().Protocol().SetLimits(PatientLimits());
        dlg->Open();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    }

    void TearDown() override
    {
        dlg.reset();
        qunsetenv("TORV_UPDATE_URL");
    }

    bool WaitConnected(const QString& title)
    {
        return WaitFor([&] { return dlg->Controller().Connected() && dlg->windowTitle() == title; });
    }

    QTemporaryDir dir;
    QString libraryPath;
    CHttpTestServer server;
    CSimulatedLink link;
    CScriptedPrompt prompt;
    std::unique_ptr<CMainDlg> dlg;
};

TEST_F(MainDlgLibraryUpdate, CtrlUTakesOnlyANewerLibraryAndIdentifiesTheEscAgainstIt)
{
    ASSERT_TRUE(WaitConnected(QStringLiteral("TORV - Brisko Pro 80 v 2.4")));
    server.Serve({200, ChangedSample("2.14", "Other")});
    dlg->OnCommand(MainCommand::LibraryUpdate);
    EXPECT_EQ(server.Requests(), 1);
    EXPECT_TRUE(prompt.Messages().empty());
    EXPECT_TRUE(dlg->Controller().Connected());
    EXPECT_TRUE(dlg->Controller().RefreshTimerRunning());
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("TORV - Brisko Pro 80 v 2.4"));
    EXPECT_EQ(TestFiles::Read(libraryPath), TestFiles::Read(kSample));

    const QByteArray remote = ChangedSample("2.15", "Brisko Pro 80 Mk2");
    server.Serve({200, remote});
    bool waitCursorUnderQuestion = true;
    prompt.onMessage = [&](const CScriptedPrompt::Request&) {
        waitCursorUnderQuestion = QApplication::overrideCursor() != nullptr;
    };
    prompt.AnswerMessage(IPrompt::Answer::Yes);
    QTest::keyClick(dlg.get(), Qt::Key_U, Qt::ControlModifier);
    ASSERT_EQ(prompt.Messages().size(), 1u);
    EXPECT_EQ(prompt.Messages().front().text,
              QStringLiteral("You are using the \"2.14\" version of  ESC library.\r\nThere is updated version "
                             "\"2.15\".\r\nWould you like to use it?"));
    EXPECT_FALSE(waitCursorUnderQuestion);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(TestFiles::Read(libraryPath), remote);
    EXPECT_EQ(dlg->Library().VersionText(), std::optional<QString>(QStringLiteral("2.15")));
    EXPECT_TRUE(WaitConnected(QStringLiteral("TORV - Brisko Pro 80 Mk2 v 2.4")));
}

} // namespace
