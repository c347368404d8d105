#include "cli/CProgressBar.h"

#include "cli/CCliOutput.h"

#include <cstdio>
#include <unistd.h>

namespace {
constexpr int kBarWidth = 30;
}

CProgressBar::CProgressBar(const QString& label)
    : m_label(label), m_enabled(isatty(STDERR_FILENO) == 1 && !CCliOutput::Quiet())
{
}

CProgressBar::~CProgressBar()
{
    Finish();
}

void CProgressBar::Show(int done, int total)
{
    if (!m_enabled || total <= 0)
        return;
    const int filled = done * kBarWidth / total;
    if (filled == m_lastWidth && done != total)
        return;
    m_lastWidth = filled;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(kBarWidth - filled, QLatin1Char('-'));
    std::fprintf(stderr, "\r%s [%s] %d/%d", m_label.toUtf8().constData(), bar.toUtf8().constData(), done, total);
    std::fflush(stderr);
    m_drawn = true;
}

void CProgressBar::Finish()
{
    if (!m_drawn)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_drawn = false;
    m_lastWidth = -1;
}
