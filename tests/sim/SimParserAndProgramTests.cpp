// The ESC's frame parser on its own, and the torv-esc-sim program.

#include "SimTestClient.h"

#include "CSimFrameParser.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace simtest;

TEST(SimFrameParser, GivesUpAStalledLongFrame)
{
    CSimFrameParser parser(std::chrono::milliseconds(50));
    // A stray 'M','u' looks like the start of a page write and hides the probe.
    const auto start = std::chrono::steady_clock::now();
    Bytes frame;
    for (uint8_t b : Concat(Bytes{'M', 'u', 0x01, 0x02}, Command('s', 'e', 't'))) {
        parser.Add(b, start);
        EXPECT_FALSE(parser.Next(frame));
    }
    std::vector<Bytes> found;
    for (int i = 1; i < 8 && found.empty(); ++i) {
        parser.Idle(start + std::chrono::milliseconds(60 * i));
        while (parser.Next(frame))
            found.push_back(frame);
    }
    EXPECT_EQ(found, std::vector<Bytes>{Command('s', 'e', 't')});
}

namespace {

// torv-esc-sim is built next to this test program.
std::string ProgramPath()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "torv-esc-sim").string();
}

// Reads up to the first line end (or the end), each byte within a deadline.
std::string ReadFrom(FILE* pipe, bool oneLine)
{
    std::string text;
    char c = 0;
    pollfd pfd{fileno(pipe), POLLIN, 0};
    while (poll(&pfd, 1, 5000) > 0 && read(pfd.fd, &c, 1) == 1 && !(oneLine && c == '\n'))
        text += c;
    return text;
}

int ExitCode(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SimProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (access(ProgramPath().c_str(), X_OK) != 0)
            GTEST_SKIP() << "torv-esc-sim is not built";
    }
    // Runs the program (stopped after 5 s at the latest) and returns its exit code.
    static int Run(const std::string& args, std::string* out = nullptr)
    {
        FILE* pipe = popen(("timeout 5 '" + ProgramPath() + "' " + args + " 2>/dev/null").c_str(), "r");
        if (pipe == nullptr)
            return -1;
        const std::string text = ReadFrom(pipe, false);
        if (out != nullptr)
            *out = text;
        return ExitCode(pclose(pipe));
    }
};

} // namespace

TEST_F(SimProgram, HelpDocumentsEveryOptionAndBadOptionsAreRefused)
{
    std::string help;
    EXPECT_EQ(Run("--help", &help), 0);
    for (const char* option : {"--profile", "full", "plain", "deprecated", "--link", "--no-line-timing", "--delay-us",
                               "--corrupted-firmware", "--version-255", "--bootloader", "--firmware-pages", "--pages",
                               "--page-turnaround-us", "--ack-turnaround-us", "--fault", "late", "silence", "unplug",
                               "corrupt", "dropbyte", "--log", "SIGUSR1", "--help"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    for (const char* args : {"--profile turbo", "--delay-us soon", "--frobnicate", "--fault late:page:5", "--pages 0",
                             "--page-turnaround-us -1", "--log /nonexistent-folder/frames.log"})
        EXPECT_EQ(Run(args), args == std::string("--log /nonexistent-folder/frames.log") ? 1 : 2) << args;
}

TEST_F(SimProgram, ServesItsLinkWithTheFaultsOfTheCommandLineLogsTheFramesAndEndsOnTerminate)
{
    const std::string link = ::testing::TempDir() + "torv-esc-sim-" + std::to_string(getpid());
    const std::string log = link + "-frames.log";
    // The shell tells its process id and becomes the program.
    FILE* pipe = popen(("echo $$; exec '" + ProgramPath() + "' --profile plain --delay-us 100 --no-line-timing "
                        "--fault corrupt:short:2 --fault unplug:any:3 --link '" + link + "' --log '" + log + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    const pid_t pid = std::atoi(ReadFrom(pipe, true).c_str());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(ReadFrom(pipe, true), link);
    struct stat info {};
    EXPECT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));

    Client client;
    ASSERT_TRUE(client.Open(link));
    const Bytes read = Command('r', 'e', 64);
    const Bytes probe = Command('s', 'e', 't');
    EXPECT_EQ(client.Exchange(read, 3), Concat(read, ShortAnswer(5))) << "the plain device";
    EXPECT_EQ(client.Exchange(probe, 3), Concat(probe, Bytes{'M', 'O', 0x9C ^ 0x5A})) << "the second answer is spoiled";
    EXPECT_EQ(client.Exchange(probe, 0), probe) << "the third frame meets the unplug";
    // SIGUSR1 plugs it in again; until the program has seen it, frames get only their echo.
    kill(pid, SIGUSR1);
    Bytes got;
    for (int i = 0; i < 10 && !(got.size() >= 8 && Bytes(got.end() - 3, got.end()) == ShortAnswer('O')); ++i)
        got = Concat(got, client.Send(probe) ? client.Receive(probe.size() + 3, Ms(1000)) : Bytes{});
    ASSERT_GE(got.size(), 8U);
    EXPECT_EQ(Bytes(got.end() - 8, got.end()), Concat(probe, ShortAnswer('O')));
    client.Close();
    kill(pid, SIGTERM);
    EXPECT_EQ(ExitCode(pclose(pipe)), 0);
    EXPECT_NE(lstat(link.c_str(), &info), 0) << "the link is removed on exit";

    std::ifstream file(log);
    std::vector<QJsonObject> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    ASSERT_GE(lines.size(), 4U);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[i].value("frame").toString(), i == 0 ? QStringLiteral("4D72654064") : QStringLiteral("4D73657499"));
        EXPECT_EQ(lines[i].value("baud").toInt(), 19200);
        EXPECT_EQ(lines[i].value("kind").toString(), QStringLiteral("short"));
        EXPECT_GE(lines[i].value("t_ms").toDouble(-1), 0.0);
    }
    EXPECT_EQ(lines[0].value("answer").toString(), QStringLiteral("4D0552"));
    EXPECT_EQ(lines[1].value("answer").toString(), QStringLiteral("4D4FC6"));
    EXPECT_GE(lines[1].value("answer_ms").toDouble(), lines[1].value("t_ms").toDouble());
    EXPECT_FALSE(lines[2].value("answered").toBool(true));
    EXPECT_EQ(lines[2].value("why").toString(), QStringLiteral("unplugged by a fault"));
    EXPECT_TRUE(lines.back().value("answered").toBool());
    EXPECT_EQ(lines.back().value("answer").toString(), QStringLiteral("4D4F9C"));
    std::remove(log.c_str());
}
