#include "cli/CliFixture.h"

#include <QJsonObject>

#include "common/CHttpTestServer.h"

namespace {

using Response = CHttpTestServer::Response;

QByteArray LibraryXml(const char* version)
{
    QByteArray bytes = TestFiles::Read(kLibrary);
    bytes.replace("version=\"2.14\"", QByteArray("version=\"") + version + "\"");
    return bytes;
}

class CliLibraryUpdate : public CliTest {
protected:
    void SetUp() override { local = WriteFile("Brisko.esc", TestFiles::Read(kLibrary)); }

    CliRun Update(const QStringList& options)
    {
        QProcess process;
        Launch(process, QStringList{"library", "update"} + options, local);
        return Finish(process);
    }

    QStringList ByUrl() const { return {"--url", server.Url()}; }

    // The local library is as the test began with it.
    void ExpectLeftAsItWas() const { EXPECT_EQ(TestFiles::Read(local), TestFiles::Read(kLibrary)); }

    QString local;
    CHttpTestServer server;
};

TEST_F(CliLibraryUpdate, NewerLibraryReplacesTheFileAndReportsBothVersions)
{
    const QByteArray remote = LibraryXml("2.15");
    server.Serve({200, remote});
    const CliRun run = Update(ByUrl());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, QStringLiteral("Updated the device library %1 from version 2.14 to 2.15\n").arg(local));
    EXPECT_EQ(TestFiles::Read(local), remote);

    // Again, through the environment and as JSON: now up to date.
    qputenv("TORV_UPDATE_URL", server.Url().toUtf8());
    const CliRun again = Update({"--json"});
    qunsetenv("TORV_UPDATE_URL");
    EXPECT_TRUE(Ended(again, 0));
    EXPECT_EQ(QJsonDocument::fromJson(again.out.toUtf8()).object(),
              (QJsonObject{{"file", local}, {"url", server.Url()}, {"local", "2.15"}, {"remote", "2.15"},
                           {"updated", false}}));
    EXPECT_EQ(server.Requests(), 2);
}

TEST_F(CliLibraryUpdate, CheckSaysWhetherANewerLibraryExistsAndInstallsNothing)
{
    server.Serve({200, LibraryXml("2.15")});
    const CliRun newer = Update(ByUrl() + QStringList{"--check"});
    EXPECT_EQ(newer.status, 1) << newer.err;
    EXPECT_TRUE(newer.out.startsWith(QStringLiteral("A newer device library is available: version 2.15 on the server, "
                                                    "version 2.14 in %1").arg(local)))
        << newer.out;
    ExpectLeftAsItWas();

    server.Serve({200, LibraryXml("2.14")});
    const CliRun same = Update(ByUrl() + QStringList{"--check"});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_TRUE(Holds(same.out, "is up to date"));
}

TEST_F(CliLibraryUpdate, OnlyHttpOrHttpsUrlsAreTaken)
{
    for (const QString url : {"ftp://127.0.0.1/Brisko.esc", "Brisko.esc", "http://"}) {
        const CliRun refused = Update({"--url", url});
        EXPECT_EQ(refused.status, 2) << url;
        EXPECT_EQ(refused.err, QStringLiteral("torv-cli: --url %1 is no http or https URL\n").arg(url));
    }
    EXPECT_EQ(server.Requests(), 0);
    ExpectLeftAsItWas();
}

TEST_F(CliLibraryUpdate, AMissingOrBrokenLibraryIsReplaced)
{
    const QByteArray remote = LibraryXml("2.15");
    server.Serve({200, remote});
    for (const QByteArray& broken : {QByteArray(), QByteArray("<Brisko version=\"9\"><ESC>")}) {
        QFile::remove(local);
        if (!broken.isEmpty())
            WriteFile("Brisko.esc", broken);
        const CliRun run = Update(ByUrl());
        EXPECT_TRUE(Ended(run, 0, "cannot be read"));
        EXPECT_EQ(run.out, QStringLiteral("Installed the device library %1, version 2.15\n").arg(local));
        EXPECT_EQ(TestFiles::Read(local), remote);
    }
}

TEST_F(CliLibraryUpdate, CtrlCEndsTheDownloadAtOnceAndLeavesTheFile)
{
    // The server holds the request for longer than the test's deadline.
    server.Serve(Response().Silent());
    QProcess process;
    Launch(process, {"library", "update", "--url", server.Url()}, local);
    ASSERT_TRUE(WaitFor([this] { return server.Requests() == 1; })) << "the request never reached the server";
    EXPECT_TRUE(SignalProcess(process, SIGINT)) << "the program had already ended";
    // Well before the 15 s that the silent server would cost otherwise.
    ASSERT_TRUE(process.waitForFinished(10000)) << "the update did not end at once";
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardError()),
              QStringLiteral("torv-cli: interrupted; %1 is left as it was\n").arg(local));
    ExpectLeftAsItWas();
}

TEST_F(CliLibraryUpdate, BrokenDownloadsLeaveTheFileAndEndWithTheirStatus)
{
    const struct {
        const char* name;
        Response response;
        int status;
        QString error;
    } cases[] = {
        {"older", {200, LibraryXml("2.13")}, 0, ""},
        {"error status", {503, "busy"}, 5, "cannot fetch %1: the server answered 503 Test\n"},
        {"a login page", {200, "<html version=\"99\"><body>Sign in</body></html>"}, 4,
         "is no device library: it holds no ESC element below its root <html>"},
        {"truncated", Response(200, LibraryXml("2.15")).Cut(100), 5, "broke off"},
        {"malformed", {200, "<Brisko version=\"3\">"}, 4, "not well-formed XML"},
        {"no version", {200, "<Brisko><ESC id=\"3\"/></Brisko>"}, 4, "has no version"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.Serve(c.response);
        EXPECT_TRUE(Ended(Update(ByUrl()), c.status, QString(c.error).replace(QLatin1String("%1"), server.Url())));
        ExpectLeftAsItWas();
    }
}

} // namespace
