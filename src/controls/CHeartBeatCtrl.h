#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

#include <array>
#include <cstdint>

// One point in time of the strip chart: the elapsed time in ticks and six
// values, 4096 being the full height.
struct CHeartBeatSample {
    quint32 time = 0;
    std::array<quint16, 6> values{};
};

// A strip chart of six traces drawn as connected lines on a face of the
// palette's Base colour, the newest sample at the right edge. Each trace
// keeps its hue but is darkened or lightened until it stands out 3:1 from
// the face, so the chart reads in light and dark themes. Each new sample moves the picture left
// by its scroll distance in pixels and draws only the new line pieces into
// the uncovered strip, so a sample costs a scroll and a narrow repaint, not
// a redraw of the whole chart. Trace 0 is always drawn; traces 1-5 only
// while visible, and a change of visibility applies from the next sample.
// The last 124 samples are kept, to redraw the picture after a resize.
class CHeartBeatCtrl : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRingSize = 124;
    static constexpr int kTraceCount = 6;
    static constexpr int kFullScale = 4096;

    // White, green, blue, yellow, magenta, cyan.
    static QColor TraceColour(int trace);
    // The face from the widget's palette, and a trace as drawn on it.
    QColor FaceColour() const;
    QColor DrawnTraceColour(int trace) const;

    explicit CHeartBeatCtrl(QWidget* parent = nullptr);

    // Adds a sample scrolled in by scroll pixels (the ticks since the
    // previous sample).
    void AddSample(const CHeartBeatSample& sample, int scroll);
    // Traces 1-5; trace 0 cannot be hidden.
    void SetTraceVisible(int trace, bool visible);
    bool IsTraceVisible(int trace) const;
    // Forgets every sample.
    int SampleCount() const { return m_count; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Entry {
        CHeartBeatSample sample;
        int scroll = 0;
        quint8 visible = 0;  // bit per trace, as it was when the sample came
    };

    const Entry& Newest(int back) const;
    int Y(quint16 value) const;
    // The face with its grid over the columns [left, left + width).
    void FillFace(QPainter& painter, int left, int width) const;
    // The line pieces from one sample to the next.
    void DrawPieces(QPainter& painter, const Entry& from, const Entry& to, int xFrom, int xTo) const;
    // The whole picture from the kept samples.
    void Redraw();
    // Works out the drawn trace colours for the current face; the contrast
    // search is too slow to repeat for every line piece.
    void UpdateDrawnColours();

    std::array<Entry, kRingSize> m_ring{};
    int m_next = 0;   // slot of the next sample
    int m_count = 0;  // samples kept
    quint8 m_visible = 0x3F;
    QPixmap m_picture;
    std::array<QColor, kTraceCount> m_drawnColours;  // DrawnTraceColour, per trace
};
