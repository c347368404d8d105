// torv-esc-sim: a simulated ESC behind an echoing serial link, on a
// pseudo-terminal, for trying TORV without hardware.

#include "CEscSimulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <pthread.h>
#include <string>

namespace {

void PrintHelp(const char* program)
{
    std::printf(
        "Usage: %s [options]\n"
        "Plays a simulated ESC on a pseudo-terminal. Prints the device path to open\n"
        "(one line on standard output) and runs until interrupted (SIGINT or SIGTERM).\n"
        "\n"
        "Options:\n"
        "  --profile NAME        device to simulate: full (default; speed change, bulk\n"
        "                        cell reads, melodies, logger, curves, categories),\n"
        "                        plain (flat parameter list, no logger, 19200 baud only),\n"
        "                        deprecated (firmware the device library marks outdated)\n"
        "  --link PATH           also create a symbolic link PATH to the device, so that\n"
        "                        TORV's Port setting can name a stable path; it is\n"
        "                        removed on exit (an existing file that is not a link is\n"
        "                        never replaced)\n"
        "  --no-line-timing      deliver bytes at once instead of at the line speed\n"
        "                        (10 bit times per byte, both directions)\n"
        "  --delay-us N          the ESC's processing time before each answer, in\n"
        "                        microseconds (default 300)\n"
        "  --corrupted-firmware  the firmware version cells read 0.0\n"
        "  --version-255         the firmware version cells read 255.255\n"
        "  --bootloader          only the boot loader is present: it answers the probe,\n"
        "                        the identity cells and the firmware upload\n"
        "  --no-upload           refuse the boot loader query (no firmware upload)\n"
        "  --help                show this text and exit\n",
        program);
}

bool ParseInt(const char* text, int& value)
{
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < 0 || parsed > 10000000)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    CEscSimulator::Options options;
    options.lineTiming = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            PrintHelp(argv[0]);
            return 0;
        } else if (arg == "--profile" && hasValue) {
            options.profile = argv[++i];
        } else if (arg == "--link" && hasValue) {
            options.symlinkPath = argv[++i];
        } else if (arg == "--no-line-timing") {
            options.lineTiming = false;
        } else if (arg == "--delay-us" && hasValue) {
            if (!ParseInt(argv[++i], options.processingDelayUs)) {
                std::fprintf(stderr, "%s: --delay-us needs a number of microseconds\n", argv[0]);
                return 2;
            }
        } else if (arg == "--corrupted-firmware") {
            options.corruptedFirmware = true;
        } else if (arg == "--version-255") {
            options.corruptedVersion255 = true;
        } else if (arg == "--bootloader") {
            options.bootloaderOnly = true;
        } else if (arg == "--no-upload") {
            options.firmwareUploadSupported = false;
        } else {
            std::fprintf(stderr, "%s: unknown or incomplete option '%s' (see --help)\n", argv[0], arg.c_str());
            return 2;
        }
    }

    bool known = false;
    for (const std::string& name : CEscSimulator::ProfileNames())
        known = known || name == options.profile;
    if (!known) {
        std::fprintf(stderr, "%s: unknown profile '%s' (see --help)\n", argv[0], options.profile.c_str());
        return 2;
    }

    // Block the stop signals in every thread; the main thread waits for them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CEscSimulator simulator(options);
    if (!simulator.Start()) {
        std::fprintf(stderr, "%s: %s\n", argv[0], simulator.LastError().c_str());
        return 1;
    }
    std::cout << simulator.DevicePath() << std::endl;

    int received = 0;
    sigwait(&signals, &received);
    simulator.Stop();
    return 0;
}
