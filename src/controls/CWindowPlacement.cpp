#include "controls/CWindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

CWindowPlacement::CWindowPlacement(QWidget& window)
    : m_window(window)
{
}

void CWindowPlacement::Place(std::optional<QSize> outer)
{
    m_outer = outer;
    m_pending = true;
    Apply();
}

void CWindowPlacement::OnEvent(const QEvent& event)
{
    switch (event.type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowActivate:
        if (m_pending && FrameExtra() != m_frameSeen)
            Apply();
        break;
    default:
        break;
    }
}

QSize CWindowPlacement::FrameExtra() const
{
    if (m_frameMargins) {
        const QMargins margins = m_frameMargins();
        return QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
    }
    return m_window.frameGeometry().size() - m_window.geometry().size();
}

QSize CWindowPlacement::OuterSize() const
{
    const bool normal =
        !(m_window.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
    const QSize client =
        normal || !m_window.normalGeometry().isValid() ? m_window.size() : m_window.normalGeometry().size();
    return client + FrameExtra();
}

QScreen* CWindowPlacement::Screen() const
{
    // A window not shown yet has no screen of its own: its parent's counts.
    const QWidget* parent = m_window.parentWidget();
    if (parent != nullptr && parent->window()->screen() != nullptr)
        return parent->window()->screen();
    return m_window.screen() != nullptr ? m_window.screen() : QGuiApplication::primaryScreen();
}

void CWindowPlacement::Apply()
{
    const QSize frameExtra = FrameExtra();
    m_frameSeen = frameExtra;
    m_pending = frameExtra.isNull();

    const QScreen* screen = Screen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
    if (m_outer) {
        QSize client = *m_outer - frameExtra;
        if (available.isValid())
            client = client.boundedTo(available.size() - frameExtra);
        m_window.resize(client.expandedTo(m_window.minimumSize()));
    }

    QRect frame(m_window.pos(), m_window.size() + frameExtra);
    const QWidget* parent = m_window.parentWidget() != nullptr ? m_window.parentWidget()->window() : nullptr;
    if (parent != nullptr && parent->isVisible())
        frame.moveCenter(parent->frameGeometry().center());
    else if (available.isValid())
        frame.moveCenter(available.center());
    if (available.isValid()) {
        // Within the available area; a window larger than it keeps its top
        // left corner (and so its title bar) in view.
        frame.moveLeft(std::max(std::min(frame.left(), available.right() - frame.width() + 1), available.left()));
        frame.moveTop(std::max(std::min(frame.top(), available.bottom() - frame.height() + 1), available.top()));
    }
    m_window.move(frame.topLeft());
}
