#include "base/CSignalWatcher.h"

#include <QSocketNotifier>

#include <atomic>
#include <fcntl.h>
#include <unistd.h>

namespace {
int g_pipe[2] = {-1, -1};
std::atomic<int> g_caught{0};
}

CSignalWatcher::CSignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent)
{
    g_caught = 0;
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
    } else {
        m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &CSignalWatcher::OnReadable);
    }
    for (int number : signalNumbers) {
        struct sigaction action {};
        action.sa_handler = &CSignalWatcher::Handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        struct sigaction previous {};
        if (sigaction(number, &action, &previous) == 0)
            m_previous[number] = previous;
    }
}

CSignalWatcher::~CSignalWatcher()
{
    for (const auto& [number, previous] : m_previous)
        sigaction(number, &previous, nullptr);
    m_notifier.reset();
    for (int& fd : g_pipe) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
}

int CSignalWatcher::Caught()
{
    return g_caught.load();
}

void CSignalWatcher::Handler(int signalNumber)
{
    g_caught = signalNumber;
    if (g_pipe[1] >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        // Nothing can be done about a full pipe here; one byte is enough.
        [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
    }
}

void CSignalWatcher::OnReadable()
{
    unsigned char byte = 0;
    while (read(g_pipe[0], &byte, 1) == 1)
        emit caught(byte);
}
