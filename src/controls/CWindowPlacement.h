#pragma once

#include <QMargins>
#include <QSize>

#include <functional>
#include <optional>

class QEvent;
class QScreen;
class QWidget;

// Places a top-level window at a stored outer size (its frame included),
// centred over its parent window, or on its screen when it has none, and
// within the screen's available area. Stored as OuterSize() reads it and
// placed again, a size comes back unchanged, run after run.
//
// A window manager frames a window some time after it is shown: until the
// frame is known the size is applied with the frame seen so far, and applied
// again when the frame changes. Once the frame is known the user's own
// moves and resizes stand.
class CWindowPlacement {
public:
    // The window's frame as the window manager has drawn it.
    using FrameMargins = std::function<QMargins()>;

    explicit CWindowPlacement(QWidget& window);

    // Replaces the frame reading (tests play a window manager with it).
    void SetFrameMargins(FrameMargins margins) { m_frameMargins = std::move(margins); }

    // Sizes the window to the outer size (none: the size stays), bounded by
    // the available area and the window's minimum size, and centres it.
    void Place(std::optional<QSize> outer);
    // To be called with every event the window has handled.
    void OnEvent(const QEvent& event);
    // Stops following the frame (the window closes).
    void Finish() { m_pending = false; }

    // The outer size of the window in its normal state, also while it is
    // maximised.
    QSize OuterSize() const;
    // Width and height that the frame adds to the window.
    QSize FrameExtra() const;

private:
    void Apply();
    QScreen* Screen() const;

    QWidget& m_window;
    FrameMargins m_frameMargins;
    std::optional<QSize> m_outer;
    bool m_pending = false;
    QSize m_frameSeen;
};
