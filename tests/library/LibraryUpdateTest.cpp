#include "library/CDeviceLibrary.h"
#include "library/CLibraryUpdate.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "common/CHttpTestServer.h"
#include "common/CScriptedPrompt.h"
#include "common/FileSizeLimit.h"
#include "common/TestApplication.h"
#include "common/TestFiles.h"

namespace {

const bool kApp = TestApplication<QCoreApplication>::Register();

using Status = CLibraryUpdate::Status;
using Response = CHttpTestServer::Response;

QByteArray LibraryXml(const char* version)
{
    const QByteArray attribute = version != nullptr ? QByteArray(" version=\"") + version + "\"" : QByteArray();
    return "<?xml version=\"1.0\"?>\n<Brisko" + attribute + "><ESC id=\"3\" name=\"Pro\"/></Brisko>\n";
}

class LibraryUpdateTest : public ::testing::Test {
protected:
    void UseLocal(const char* version)
    {
        localBytes = LibraryXml(version);
        path = TestFiles::Write(QDir(dir.path()), QStringLiteral("Brisko.esc"), localBytes);
        ASSERT_TRUE(library.Load(path));
    }

    std::unique_ptr<CLibraryUpdate> Update()
    {
        auto update = std::make_unique<CLibraryUpdate>(library, path);
        update->SetUrl(server.Url());
        update->SetTimeoutMs(20000);
        return update;
    }

    // The library in use and its file are as they were.
    void ExpectOldLibrary()
    {
        EXPECT_EQ(TestFiles::Read(path), localBytes);
        EXPECT_EQ(library.VersionText(), std::optional<QString>(QStringLiteral("1.9")));
    }

    QTemporaryDir dir;
    QString path;
    QByteArray localBytes;
    CDeviceLibrary library;
    CHttpTestServer server;
};

struct CheckCase {
    const char* name;
    Response response;
    Status status;
    const char* error;   // a part of the failure text, or empty
};

TEST_F(LibraryUpdateTest, CheckSortsEveryDownloadAndLeavesTheLibraryAlone)
{
    const CheckCase cases[] = {
        {"newer", {200, LibraryXml("2.0")}, Status::Newer, ""},
        {"newer behind a redirection", Response(200, LibraryXml("2.0")).RedirectTo("/moved.esc"), Status::Newer,
         ""},
        {"1.10 is above 1.9", {200, LibraryXml("1.10")}, Status::Newer, ""},
        {"equal", {200, LibraryXml("1.9")}, Status::NotNewer, ""},
        {"1.8.9 is below 1.9", {200, LibraryXml("1.8.9")}, Status::NotNewer, ""},
        {"no version reads 0", {200, LibraryXml(nullptr)}, Status::NotNewer, ""},
        {"truncated body", Response(200, LibraryXml("2.0")).Cut(20), Status::Truncated, ""},
        {"empty body", {200, QByteArray()}, Status::Empty, ""},
        {"malformed XML", {200, "<Brisko version=\"2.0\"><ESC></Brisko>"}, Status::Malformed, "at line 1"},
        // Well-formed, with a higher version, yet no library: the next start
        // would find no device in it.
        {"a login page", {200, "<html version=\"99\"><body>Sign in</body></html>"}, Status::NotALibrary,
         "no ESC element below its root <html>"},
        {"a root without ESC", {200, "<Brisko version=\"3\"><Curves/></Brisko>"}, Status::NotALibrary, ""},
    };
    UseLocal("1.9");
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        server.Serve(c.response);
        const CLibraryUpdate::Result result = Update()->Check();
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(result.error.contains(QLatin1String(c.error))) << result.error.toStdString();
        ExpectOldLibrary();
    }
    EXPECT_TRUE(server.LastRequest().startsWith("GET /downloads/Brisko.esc HTTP/1.1"));
    EXPECT_TRUE(server.LastRequest().contains("User-Agent: test_library"));
    EXPECT_TRUE(server.LastRequest().contains("Accept-Encoding: identity"));
}

TEST(LibraryVersion, VersionsComparePartByPartAsWholeNumbers)
{
    const struct {
        std::optional<QString> a, b;
        int sign;
    } cases[] = {
        {"2.14", "2.9", 1},
        {"1.9", "1.10", -1},
        {"1.10", "1.10.0", 0},
        {"2", "2.0.1", -1},
        {" 3.01 ", "3.1", 0},
        {std::nullopt, "0.5", -1},
        {"-1", std::nullopt, -1},
        {"2.x", "2", 0},
        {"99999999999999999999", "1", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a.value_or("none").toStdString() + " vs " + c.b.value_or("none").toStdString());
        const int forward = CLibraryUpdate::CompareVersions(c.a, c.b);
        EXPECT_EQ((forward > 0) - (forward < 0), c.sign);
        const int backward = CLibraryUpdate::CompareVersions(c.b, c.a);
        EXPECT_EQ((backward > 0) - (backward < 0), -c.sign);
    }
}

TEST_F(LibraryUpdateTest, FailuresNameTheirCauseOnce)
{
    UseLocal("1.9");
    const QString url = server.Url();
    const struct {
        const char* name;
        QString url;
        Response response;
        int timeoutMs;
        QString error;
        QString cause;
    } cases[] = {
        {"silent server", url, Response().Silent(), 300, "Failed to open http url (" + url + ")",
         "no answer within 0.3 s"},
        {"error status", url, {404, "<html/>"}, 20000, "Failed to open http url (" + url + ")",
         "the server answered 404 Test"},
        {"nobody listening", "http://127.0.0.1:1/downloads/Brisko.esc", {}, 20000,
         "Failed to open http url (http://127.0.0.1:1/downloads/Brisko.esc)",
         "the connection to 127.0.0.1:1 was refused"},
        {"no content length", url, Response(200, LibraryXml("2.0")).WithoutLength(), 20000,
         "Failed to query http info (536870917)", "the server sent no content length"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.Serve(c.response);
        auto update = Update();
        update->SetUrl(c.url);
        update->SetTimeoutMs(c.timeoutMs);
        const CLibraryUpdate::Result result = update->Check();
        EXPECT_EQ(result.status, Status::NetworkFailed);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.cause, c.cause);
    }
    ExpectOldLibrary();
}

TEST_F(LibraryUpdateTest, ASlowButSteadyDownloadIsNoTimeOut)
{
    UseLocal("1.9");
    // About 20 pieces 100 ms apart: twice as long in all as the limit, yet
    // never as long without progress.
    const QByteArray remote = LibraryXml("2.0");
    server.Serve(Response(200, remote).Trickle(static_cast<int>(remote.size()) / 20 + 1, 100));
    auto update = Update();
    update->SetTimeoutMs(1000);
    EXPECT_EQ(update->Check().status, Status::Newer);
}

TEST_F(LibraryUpdateTest, ACancelEndsTheWaitAtOnceAndWritesNothing)
{
    UseLocal("1.9");
    server.Serve(Response().Silent());
    bool cancel = false;
    auto update = Update();
    update->SetTimeoutMs(60000);
    update->SetCancelCheck([&cancel] { return cancel; });
    QTimer::singleShot(100, [&cancel] { cancel = true; });
    // The server would hold the request for the whole minute.
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(update->Check().status, Status::Cancelled);
    EXPECT_LT(clock.elapsed(), 30000) << "the cancel did not end the wait";

    // Asked to stop between the download and the writing.
    cancel = false;
    server.Serve({200, LibraryXml("2.0")});
    ASSERT_EQ(update->Check().status, Status::Newer);
    cancel = true;
    EXPECT_EQ(update->Install().status, Status::Cancelled);
    ExpectOldLibrary();
}

TEST_F(LibraryUpdateTest, AMissingLibraryIsReplacedByAnyDownloadWithAVersion)
{
    path = QDir(dir.path()).filePath(QStringLiteral("Brisko.esc"));
    ASSERT_FALSE(library.Load(path));
    server.Serve({200, LibraryXml("0.1")});
    auto update = Update();
    const CLibraryUpdate::Result checked = update->Check();
    EXPECT_EQ(checked.status, Status::Newer);
    EXPECT_FALSE(checked.localText);
    EXPECT_EQ(update->Install().status, Status::Updated);
    EXPECT_EQ(TestFiles::Read(path), LibraryXml("0.1"));
    EXPECT_EQ(library.VersionText(), std::optional<QString>(QStringLiteral("0.1")));
}

TEST_F(LibraryUpdateTest, YesWritesTheDownloadAndLoadsItAfterLettingGoOfTheOldDocument)
{
    UseLocal("1.9");
    const QByteArray remote = LibraryXml("2.0");
    server.Serve({200, remote});
    CScriptedPrompt prompt;
    prompt.AnswerMessage(IPrompt::Answer::Yes);
    auto update = Update();
    std::optional<QString> versionBeforeReplace;
    update->SetBeforeReplace([&] { versionBeforeReplace = library.VersionText(); });
    std::vector<bool> busy;
    update->SetBusyHook([&](bool on) { busy.push_back(on); });

    EXPECT_EQ(update->Run(prompt).status, Status::Updated);
    const std::vector<CScriptedPrompt::Request> messages = prompt.Messages();
    ASSERT_EQ(messages.size(), 1u);
    const CScriptedPrompt::Request& asked = messages.front();
    EXPECT_EQ(asked.caption, QStringLiteral("TORV"));
    EXPECT_EQ(asked.icon, IPrompt::Icon::Information);
    EXPECT_EQ(asked.buttons, IPrompt::Buttons::YesNo);
    EXPECT_EQ(versionBeforeReplace, std::optional<QString>(QStringLiteral("1.9")));
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(TestFiles::Read(path), remote);
    EXPECT_EQ(library.VersionText(), std::optional<QString>(QStringLiteral("2.0")));
    EXPECT_EQ(library.SupportedDevices().size(), 1u);
}

struct PromptCase {
    const char* name;
    const char* local;
    Response response;
    IPrompt::Answer answer;   // Cancel: no question expected
    Status status;
    const char* text;
    IPrompt::Icon icon;
};

TEST_F(LibraryUpdateTest, WindowRunShowsOnlyWhatItShouldAndKeepsTheLibraryOtherwise)
{
    const PromptCase cases[] = {
        {"declined", "1.9", {200, LibraryXml("2.0")}, IPrompt::Answer::No, Status::Declined,
         "You are using the \"1.9\" version of  ESC library.\r\nThere is updated version \"2.0\".\r\nWould you like "
         "to use it?",
         IPrompt::Icon::Information},
        {"a library without version is shown as xx", nullptr, {200, LibraryXml("0.5")}, IPrompt::Answer::No,
         Status::Declined,
         "You are using the \"xx\" version of  ESC library.\r\nThere is updated version \"0.5\".\r\nWould you like "
         "to use it?",
         IPrompt::Icon::Information},
        {"network failure", "1.9", Response(200, LibraryXml("2.0")).WithoutLength(), IPrompt::Answer::Ok,
         Status::NetworkFailed, "Failed to query http info (536870917)\r\nthe server sent no content length",
         IPrompt::Icon::None},
        {"no library is silent", "1.9", {200, "<html version=\"99\"/>"}, IPrompt::Answer::Cancel,
         Status::NotALibrary, "", IPrompt::Icon::None},
        {"no version, local below 0", "-1", {200, LibraryXml(nullptr)}, IPrompt::Answer::Ok, Status::NoVersion,
         "It seems that remote file is wrong (vesrion ommited).", IPrompt::Icon::Error},
        {"not newer is silent", "1.9", {200, LibraryXml("1.9")}, IPrompt::Answer::Cancel, Status::NotNewer, "",
         IPrompt::Icon::None},
        {"truncated is silent", "1.9", Response(200, LibraryXml("2.0")).Cut(5), IPrompt::Answer::Cancel,
         Status::Truncated, "", IPrompt::Icon::None},
    };
    for (const PromptCase& c : cases) {
        SCOPED_TRACE(c.name);
        UseLocal(c.local);
        server.Serve(c.response);
        CScriptedPrompt prompt;
        if (c.answer != IPrompt::Answer::Cancel)
            prompt.AnswerMessage(c.answer);
        EXPECT_EQ(Update()->Run(prompt).status, c.status);
        ASSERT_EQ(prompt.Messages().size(), c.answer != IPrompt::Answer::Cancel ? 1u : 0u);
        if (c.answer != IPrompt::Answer::Cancel) {
            EXPECT_EQ(prompt.Messages().front().text, QString::fromUtf8(c.text));
            EXPECT_EQ(prompt.Messages().front().icon, c.icon);
        }
        EXPECT_EQ(TestFiles::Read(path), localBytes);
        EXPECT_EQ(library.VersionText(),
                  c.local != nullptr ? std::optional(QString::fromLatin1(c.local)) : std::nullopt);
    }
}

TEST_F(LibraryUpdateTest, FailedSaveKeepsTheOldLibraryInUseAndOnDiskAndSaysSo)
{
    UseLocal("1.9");
    server.Serve({200, LibraryXml("2.0") + QByteArray(4096, ' ')});
    bool replaced = false;
    {
        // A nearly full disk: the new file cannot be completed.
        auto update = Update();
        update->SetBeforeReplace([&] { replaced = true; });
        ASSERT_EQ(update->Check().status, Status::Newer);
        CLibraryUpdate::Result result;
        {
            FileSizeLimit limit(1024);
            result = update->Install();
        }
        EXPECT_EQ(result.status, Status::SaveFailed);
        ExpectOldLibrary();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Brisko.esc")});
    }

    // The library file has become a folder: the window says so.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkdir(path));
    CScriptedPrompt prompt;
    prompt.AnswerMessage(IPrompt::Answer::Yes);
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    auto update = Update();
    update->SetBeforeReplace([&] { replaced = true; });
    EXPECT_EQ(update->Run(prompt).status, Status::SaveFailed);
    EXPECT_FALSE(replaced);
    EXPECT_EQ(library.VersionText(), std::optional<QString>(QStringLiteral("1.9")));
    ASSERT_EQ(prompt.Messages().size(), 2u);
    EXPECT_TRUE(prompt.Messages().back().text.startsWith(QStringLiteral("Unable to write to file ") + path));
    EXPECT_EQ(prompt.Messages().back().icon, IPrompt::Icon::Error);
}

} // namespace
