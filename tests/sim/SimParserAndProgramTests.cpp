// The ESC's frame parser on its own, and the torv-esc-sim program.

#include "SimTestClient.h"

#include "CSimFrameParser.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace simtest;

namespace {

std::vector<Bytes> Feed(CSimFrameParser& parser, const Bytes& bytes)
{
    std::vector<Bytes> frames;
    const auto now = std::chrono::steady_clock::now();
    Bytes frame;
    for (uint8_t b : bytes) {
        parser.Add(b, now);
        while (parser.Next(frame))
            frames.push_back(frame);
    }
    return frames;
}

} // namespace

TEST(SimFrameParser, SplitsAStreamOfEveryFrameKind)
{
    CSimFrameParser parser;
    const Bytes page = PageWrite(3, Bytes(264, 0x4D));
    const Bytes block = BlockSend(Bytes(144, 'M'));
    const Bytes query = Command('u', 'p', 'd');
    const Bytes stream = Concat(Concat(Concat(Command('s', 'e', 't'), page), Concat(query, block)), Command('r', 'e', 1));
    const std::vector<Bytes> frames = Feed(parser, stream);
    ASSERT_EQ(frames.size(), 5U);
    EXPECT_EQ(frames[0], Command('s', 'e', 't'));
    EXPECT_EQ(frames[1], page);
    EXPECT_EQ(frames[2], query);
    EXPECT_EQ(frames[3], block);
    EXPECT_EQ(frames[4], Command('r', 'e', 1));
    EXPECT_EQ(parser.Pending(), 0U);
    EXPECT_EQ(parser.DroppedBytes(), 0U);
}

TEST(SimFrameParser, DropsBrokenBytesAndFindsTheFramesBehindThem)
{
    CSimFrameParser parser;
    Bytes badBlock = BlockSend(Bytes(144, 0x00));
    badBlock.back() ^= 0x01;
    const std::vector<Bytes> frames = Feed(parser, Concat(Concat(Bytes{0x00, 'M', 0x01}, badBlock), Command('r', 'e', 64)));
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0], Command('r', 'e', 64));
}

TEST(SimFrameParser, GivesUpAStalledLongFrame)
{
    CSimFrameParser parser(std::chrono::milliseconds(50));
    // A stray 'M','u' looks like the start of a page write and hides the probe.
    const Bytes stream = Concat(Bytes{'M', 'u', 0x01, 0x02}, Command('s', 'e', 't'));
    EXPECT_TRUE(Feed(parser, stream).empty());
    Bytes frame;
    const auto later = std::chrono::steady_clock::now() + std::chrono::milliseconds(60);
    std::vector<Bytes> found;
    for (int i = 0; i < 8 && found.empty(); ++i) {
        parser.Idle(later + std::chrono::milliseconds(60 * i));
        while (parser.Next(frame))
            found.push_back(frame);
    }
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0], Command('s', 'e', 't'));
}

// ---------------------------------------------------------------------------

namespace {

std::string ProgramPath()
{
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
    return path.substr(0, path.rfind('/') + 1) + "torv-esc-sim";
}

// Runs the program with its standard output on a pipe.
class Program {
public:
    explicit Program(const std::vector<std::string>& args)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<std::string> all = {ProgramPath()};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_out = fds[0];
    }
    ~Program()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            close(m_out);
    }
    bool Started() const { return m_pid > 0; }

    // Standard output up to the first line end (or to its end).
    std::string ReadLine(std::chrono::milliseconds deadline = std::chrono::milliseconds(5000))
    {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + deadline;
        char c = 0;
        while (std::chrono::steady_clock::now() < end) {
            pollfd pfd{m_out, POLLIN, 0};
            if (poll(&pfd, 1, 50) <= 0)
                continue;
            if (read(m_out, &c, 1) != 1 || c == '\n')
                break;
            line += c;
        }
        return line;
    }
    std::string ReadAll()
    {
        std::string text;
        char buffer[1024];
        ssize_t got = 0;
        while ((got = read(m_out, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(got));
        return text;
    }
    // Sends the signal and returns the exit status.
    int Stop(int signal)
    {
        kill(m_pid, signal);
        return Wait();
    }
    int Wait()
    {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

bool ProgramBuilt()
{
    return access(ProgramPath().c_str(), X_OK) == 0;
}

} // namespace

TEST(SimProgram, HelpDocumentsEveryOption)
{
    if (!ProgramBuilt())
        GTEST_SKIP() << "torv-esc-sim is not built";
    Program program({"--help"});
    ASSERT_TRUE(program.Started());
    const std::string help = program.ReadAll();
    EXPECT_EQ(program.Wait(), 0);
    for (const char* option : {"--profile", "full", "plain", "deprecated", "--link", "--no-line-timing", "--delay-us",
                               "--corrupted-firmware", "--version-255", "--bootloader", "--help"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(SimProgram, BadOptionsAreRefused)
{
    if (!ProgramBuilt())
        GTEST_SKIP() << "torv-esc-sim is not built";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--profile", "turbo"},
                                                 std::vector<std::string>{"--delay-us", "soon"},
                                                 std::vector<std::string>{"--frobnicate"}}) {
        Program program(args);
        ASSERT_TRUE(program.Started());
        EXPECT_EQ(program.Wait(), 2) << args[0];
    }
}

TEST(SimProgram, ServesTheDeviceOnItsLinkUntilTerminated)
{
    if (!ProgramBuilt())
        GTEST_SKIP() << "torv-esc-sim is not built";
    const std::string link = ::testing::TempDir() + "torv-esc-sim-" + std::to_string(getpid());
    Program program({"--profile", "plain", "--link", link, "--delay-us", "100"});
    ASSERT_TRUE(program.Started());
    EXPECT_EQ(program.ReadLine(), link);
    struct stat info {};
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));

    Client client;
    ASSERT_TRUE(client.Open(link));
    EXPECT_EQ(client.Exchange(Command('r', 'e', 64), 3), Concat(Command('r', 'e', 64), ShortAnswer(5)));
    client.Close();

    EXPECT_EQ(program.Stop(SIGTERM), 0);
    EXPECT_NE(lstat(link.c_str(), &info), 0) << "the link is removed on exit";
}
