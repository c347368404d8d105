#include "cli/CInterrupt.h"

#include <atomic>
#include <csignal>

namespace {
std::atomic<bool> g_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnSignal(int)
{
    g_requested.store(true);
}
}

void CInterrupt::Install()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // The first signal asks for an orderly end; the handler then goes back to
    // the default, so that a second one ends the program at once.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool CInterrupt::Requested()
{
    return g_requested.load();
}
