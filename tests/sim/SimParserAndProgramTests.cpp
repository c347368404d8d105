// The ESC's frame parser on its own, and the torv-esc-sim program.

#include "SimTestClient.h"

#include "CSimFrameParser.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
                               "--corrupted-firmware", "--version-255", "--bootloader", "--help"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    for (const char* args : {"--profile turbo", "--delay-us soon", "--frobnicate"})
        EXPECT_EQ(Run(args), 2) << args;
}

TEST_F(SimProgram, ServesTheDeviceOnItsLinkUntilTerminated)
{
    const std::string link = ::testing::TempDir() + "torv-esc-sim-" + std::to_string(getpid());
    // The shell tells its process id and becomes the program.
    FILE* pipe = popen(("echo $$; exec '" + ProgramPath() + "' --profile plain --delay-us 100 --link '" + link + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    const pid_t pid = std::atoi(ReadFrom(pipe, true).c_str());
    EXPECT_EQ(ReadFrom(pipe, true), link);
    struct stat info {};
    EXPECT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));

    Client client;
    EXPECT_TRUE(client.Open(link));
    EXPECT_EQ(client.Exchange(Command('r', 'e', 64), 3), Concat(Command('r', 'e', 64), ShortAnswer(5)));
    client.Close();

    if (pid > 0)
        kill(pid, SIGTERM);
    EXPECT_EQ(ExitCode(pclose(pipe)), 0);
    EXPECT_NE(lstat(link.c_str(), &info), 0) << "the link is removed on exit";
}
