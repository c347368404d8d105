#include "library/CDeviceLibrary.h"
#include "library/CLibraryUpdate.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

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
    const QByteArray newer = LibraryXml("1.10.1");   // reads 1.1: older than 1.9
    const CheckCase cases[] = {
        {"newer", {200, LibraryXml("2.0")}, Status::Newer, ""},
        {"newer behind a redirection", Response(200, LibraryXml("2.0")).RedirectTo("/moved.esc"), Status::Newer,
         ""},
        {"older by number, not by text", {200, LibraryXml("1.10")}, Status::NotNewer, ""},
        {"equal", {200, LibraryXml("1.9")}, Status::NotNewer, ""},
        {"older with a longer text", {200, newer}, Status::NotNewer, ""},
        {"no version reads 0.0", {200, LibraryXml(nullptr)}, Status::NotNewer, ""},
        {"no content length", Response(200, LibraryXml("2.0")).WithoutLength(), Status::NetworkFailed,
         "Failed to query http info (536870917)"},
        {"truncated body", Response(200, LibraryXml("2.0")).Cut(20), Status::Truncated, ""},
        {"empty body", {200, QByteArray()}, Status::Empty, ""},
        {"malformed XML", {200, "<Brisko version=\"2.0\"><ESC></Brisko>"}, Status::Malformed, "at line 1"},
        {"error status", {404, "<html/>"}, Status::NetworkFailed, "Failed to open http url (http://127.0.0.1:"},
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

TEST_F(LibraryUpdateTest, ServerThatIsGoneOrSilentFailsWithTheOpenText)
{
    UseLocal("1.9");
    server.Serve(Response().Silent());
    auto silent = Update();
    silent->SetTimeoutMs(300);
    const CLibraryUpdate::Result timedOut = silent->Check();
    EXPECT_EQ(timedOut.status, Status::NetworkFailed);
    EXPECT_EQ(timedOut.error, QStringLiteral("Failed to open http url (%1)").arg(server.Url()));

    auto gone = Update();
    gone->SetUrl(QStringLiteral("http://127.0.0.1:1/downloads/Brisko.esc"));
    EXPECT_EQ(gone->Check().status, Status::NetworkFailed);
    ExpectOldLibrary();
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
    ASSERT_EQ(prompt.Messages().size(), 1u);
    const CScriptedPrompt::Request& asked = prompt.Messages().front();
    EXPECT_EQ(asked.text, QStringLiteral("You are using the \"1.9\" version of  ESC library.\r\nThere is updated "
                                         "version \"2.0\".\r\nWould you like to use it?"));
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
    const char* text;
    IPrompt::Icon icon;
};

TEST_F(LibraryUpdateTest, WindowRunShowsOnlyWhatItShouldAndKeepsTheLibraryOtherwise)
{
    const PromptCase cases[] = {
        {"declined", "1.9", {200, LibraryXml("2.0")}, IPrompt::Answer::No,
         "You are using the \"1.9\" version of  ESC library.\r\nThere is updated version \"2.0\".\r\nWould you like "
         "to use it?",
         IPrompt::Icon::Information},
        {"network failure", "1.9", Response(200, LibraryXml("2.0")).WithoutLength(), IPrompt::Answer::Ok,
         "Failed to query http info (536870917)", IPrompt::Icon::None},
        {"no version, local below 0", "-1", {200, LibraryXml(nullptr)}, IPrompt::Answer::Ok,
         "It seems that remote file is wrong (vesrion ommited).", IPrompt::Icon::Error},
        {"not newer is silent", "1.9", {200, LibraryXml("1.9")}, IPrompt::Answer::Cancel, "", IPrompt::Icon::None},
        {"truncated is silent", "1.9", Response(200, LibraryXml("2.0")).Cut(5), IPrompt::Answer::Cancel, "",
         IPrompt::Icon::None},
    };
    for (const PromptCase& c : cases) {
        SCOPED_TRACE(c.name);
        UseLocal(c.local);
        server.Serve(c.response);
        CScriptedPrompt prompt;
        if (c.answer != IPrompt::Answer::Cancel)
            prompt.AnswerMessage(c.answer);
        Update()->Run(prompt);
        ASSERT_EQ(prompt.Messages().size(), c.answer != IPrompt::Answer::Cancel ? 1u : 0u);
        if (c.answer != IPrompt::Answer::Cancel) {
            EXPECT_EQ(prompt.Messages().front().text, QString::fromUtf8(c.text));
            EXPECT_EQ(prompt.Messages().front().icon, c.icon);
        }
        EXPECT_EQ(TestFiles::Read(path), localBytes);
        EXPECT_EQ(library.VersionText(), std::optional<QString>(QString::fromLatin1(c.local)));
    }
}

TEST_F(LibraryUpdateTest, LibraryWithoutVersionIsShownAsXx)
{
    UseLocal(nullptr);
    server.Serve({200, LibraryXml("0.5")});
    CScriptedPrompt prompt;
    prompt.AnswerMessage(IPrompt::Answer::No);
    EXPECT_EQ(Update()->Run(prompt).status, Status::Declined);
    ASSERT_EQ(prompt.Messages().size(), 1u);
    EXPECT_TRUE(prompt.Messages().front().text.startsWith(QStringLiteral("You are using the \"xx\" version")));
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
