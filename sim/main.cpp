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
#include <vector>

namespace {

void PrintHelp(const char* program)
{
    std::printf(
        "Usage: %s [options]\n"
        "Plays a simulated ESC on a pseudo-terminal. Prints the device path to open\n"
        "(one line on standard output) and runs until interrupted (SIGINT or SIGTERM).\n"
        "SIGUSR1 unplugs the ESC, the next SIGUSR1 plugs it in again (it then powers\n"
        "up afresh at 19200 baud); the cable keeps echoing meanwhile:\n"
        "  kill -USR1 <pid>\n"
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
        "  --firmware-pages N    the boot loader knows a whole image: N blocks of 144\n"
        "                        bytes; it starts the firmware after the Nth and stays in\n"
        "                        the boot loader after fewer (default: any number, the\n"
        "                        image being whole when an ordinary frame follows)\n"
        "  --pages N             a logger memory of N pages of 264 bytes (default 2048);\n"
        "                        the stored logs are cut where it ends\n"
        "  --page-turnaround-us N  time to prepare a logger page before answering\n"
        "                        (default 300)\n"
        "  --ack-turnaround-us N   time to write a firmware block before acknowledging\n"
        "                        it (default 300)\n"
        "  --fault SPEC          a fault, repeatable: ACTION:KIND:NTH[:MS] strikes the\n"
        "                        NTH frame of KIND counted from the start.\n"
        "                        ACTION: late (its answer comes MS later; later answers\n"
        "                        wait behind it), silence (answers to every frame within\n"
        "                        MS are lost), unplug (the ESC is gone for MS, 0 or none:\n"
        "                        until SIGUSR1), corrupt (wrong sum or CRC), dropbyte\n"
        "                        (one byte of the answer is missing).\n"
        "                        KIND: page (logger page read), ack (firmware block),\n"
        "                        record (telemetry), short (everything else), any.\n"
        "                        E.g. --fault late:page:5:1500 --fault unplug:ack:3:1000\n"
        "  --log FILE            write one JSON line per frame to FILE: its time in ms\n"
        "                        since the start, TORV's line speed, the kind, the bytes\n"
        "                        in hex, answered or not (and why), and the answer's\n"
        "                        time and bytes; attach it to a fault report\n"
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

bool ParseCountOption(const char* program, const std::string& option, const char* text, int& value)
{
    if (ParseInt(text, value))
        return true;
    std::fprintf(stderr, "%s: %s needs a whole number, not '%s'\n", program, option.c_str(), text);
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    CEscSimulator::Options options;
    options.lineTiming = true;
    std::vector<CEscSimulator::Fault> faults;
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
        } else if (arg == "--firmware-pages" && hasValue) {
            if (!ParseCountOption(argv[0], arg, argv[++i], options.firmwarePages))
                return 2;
        } else if (arg == "--pages" && hasValue) {
            if (!ParseCountOption(argv[0], arg, argv[++i], options.loggerPages))
                return 2;
            if (options.loggerPages < 1 || options.loggerPages > 65535) {
                std::fprintf(stderr, "%s: --pages takes 1 to 65535 pages\n", argv[0]);
                return 2;
            }
        } else if (arg == "--page-turnaround-us" && hasValue) {
            if (!ParseCountOption(argv[0], arg, argv[++i], options.pageTurnaroundUs))
                return 2;
        } else if (arg == "--ack-turnaround-us" && hasValue) {
            if (!ParseCountOption(argv[0], arg, argv[++i], options.ackTurnaroundUs))
                return 2;
        } else if (arg == "--fault" && hasValue) {
            CEscSimulator::Fault fault;
            std::string error;
            if (!CEscSimulator::ParseFault(argv[++i], fault, error)) {
                std::fprintf(stderr, "%s: %s (see --help)\n", argv[0], error.c_str());
                return 2;
            }
            faults.push_back(fault);
        } else if (arg == "--log" && hasValue) {
            options.logPath = argv[++i];
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
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CEscSimulator simulator(options);
    if (!simulator.Start()) {
        std::fprintf(stderr, "%s: %s\n", argv[0], simulator.LastError().c_str());
        return 1;
    }
    for (const CEscSimulator::Fault& fault : faults)
        simulator.AddFault(fault);
    std::cout << simulator.DevicePath() << std::endl;

    int received = 0;
    while (sigwait(&signals, &received) == 0 && received == SIGUSR1) {
        const bool unplug = !simulator.Unplugged();
        simulator.SetUnplugged(unplug);
        std::fprintf(stderr, "%s: %s\n", argv[0],
                     unplug ? "the ESC is unplugged (the cable still echoes)"
                            : "the ESC is plugged in again, at 19200 baud");
    }
    simulator.Stop();
    return 0;
}
