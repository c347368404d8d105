#include "controls/CHeartBeatCtrl.h"

#include "controls/CColourContrast.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

QColor CHeartBeatCtrl::TraceColour(int trace)
{
    static const std::array<QColor, kTraceCount> colours = {QColor(255, 255, 255), QColor(0, 255, 0),
                                                            QColor(0, 0, 255),     QColor(255, 255, 0),
                                                            QColor(255, 0, 255),   QColor(0, 255, 255)};
    return colours[static_cast<size_t>(std::clamp(trace, 0, kTraceCount - 1))];
}

QColor CHeartBeatCtrl::FaceColour() const
{
    return palette().color(QPalette::Active, QPalette::Base);
}

QColor CHeartBeatCtrl::DrawnTraceColour(int trace) const
{
    return m_drawnColours[static_cast<size_t>(std::clamp(trace, 0, kTraceCount - 1))];
}

void CHeartBeatCtrl::UpdateDrawnColours()
{
    const QColor face = FaceColour();
    for (int trace = 0; trace < kTraceCount; ++trace)
        m_drawnColours[static_cast<size_t>(trace)] = CColourContrast::Readable(TraceColour(trace), face);
}

CHeartBeatCtrl::CHeartBeatCtrl(QWidget* parent)
    : QWidget(parent)
{
    // Every pixel is painted from the picture: the window system may move
    // the shown picture itself when it scrolls.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    UpdateDrawnColours();
}

QSize CHeartBeatCtrl::sizeHint() const
{
    return QSize(kRingSize * 2, 96);
}

void CHeartBeatCtrl::SetTraceVisible(int trace, bool visible)
{
    if (trace < 1 || trace >= kTraceCount)
        return;
    const quint8 bit = static_cast<quint8>(1u << trace);
    m_visible = visible ? (m_visible | bit) : (m_visible & ~bit);
}

bool CHeartBeatCtrl::IsTraceVisible(int trace) const
{
    return trace >= 0 && trace < kTraceCount && (m_visible & (1u << trace)) != 0;
}

const CHeartBeatCtrl::Entry& CHeartBeatCtrl::Newest(int back) const
{
    return m_ring[static_cast<size_t>((m_next - 1 - back + 2 * kRingSize) % kRingSize)];
}

int CHeartBeatCtrl::Y(quint16 value) const
{
    const int bottom = height() - 1;
    const int y = bottom - static_cast<int>(static_cast<qint64>(value) * bottom / kFullScale);
    return std::max(y, 0);
}

void CHeartBeatCtrl::FillFace(QPainter& painter, int left, int width) const
{
    const QColor face = FaceColour();
    painter.fillRect(QRect(left, 0, width, height()), face);
    painter.setPen(CColourContrast::Mix(face, palette().color(QPalette::Active, QPalette::Text), 0.15));
    for (int quarter = 1; quarter < 4; ++quarter) {
        const int y = Y(static_cast<quint16>(quarter * kFullScale / 4));
        painter.drawLine(left, y, left + width - 1, y);
    }
}

void CHeartBeatCtrl::DrawPieces(QPainter& painter, const Entry& from, const Entry& to, int xFrom, int xTo) const
{
    // Trace 0 last, so that it lies on top.
    for (int trace = kTraceCount - 1; trace >= 0; --trace) {
        if (trace != 0 && (to.visible & (1u << trace)) == 0)
            continue;
        painter.setPen(DrawnTraceColour(trace));
        const size_t t = static_cast<size_t>(trace);
        painter.drawLine(xFrom, Y(from.sample.values[t]), xTo, Y(to.sample.values[t]));
    }
}

void CHeartBeatCtrl::AddSample(const CHeartBeatSample& sample, int scroll)
{
    Entry& entry = m_ring[static_cast<size_t>(m_next)];
    entry.sample = sample;
    entry.scroll = std::max(scroll, 0);
    entry.visible = static_cast<quint8>(m_visible | 1u);
    m_next = (m_next + 1) % kRingSize;
    m_count = std::min(m_count + 1, kRingSize);

    const QSize size = this->size();
    if (m_picture.size() != size || size.isEmpty()) {
        Redraw();
        update();
        return;
    }
    const int right = size.width() - 1;
    const int dx = std::min(entry.scroll, size.width());
    {
        QPainter painter(&m_picture);
        if (dx > 0) {
            m_picture.scroll(-dx, 0, m_picture.rect());
            FillFace(painter, size.width() - dx, dx);
        }
        if (m_count >= 2)
            DrawPieces(painter, Newest(1), entry, right - dx, right);
    }
    // Move what is shown and repaint only the strip of new pieces.
    if (dx > 0)
        QWidget::scroll(-dx, 0);
    update(QRect(std::max(right - dx, 0), 0, std::min(dx + 1, size.width()), size.height()));
}

void CHeartBeatCtrl::Redraw()
{
    const QSize size = this->size();
    if (size.isEmpty()) {
        m_picture = QPixmap();
        return;
    }
    if (m_picture.size() != size)
        m_picture = QPixmap(size);
    QPainter painter(&m_picture);
    FillFace(painter, 0, size.width());
    int x = size.width() - 1;
    for (int back = 0; back + 1 < m_count && x >= 0; ++back) {
        const Entry& to = Newest(back);
        const Entry& from = Newest(back + 1);
        DrawPieces(painter, from, to, x - to.scroll, x);
        x -= to.scroll;
    }
}

void CHeartBeatCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Redraw();
}

void CHeartBeatCtrl::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        UpdateDrawnColours();
        Redraw();
        update();
    }
}

void CHeartBeatCtrl::paintEvent(QPaintEvent* event)
{
    if (m_picture.size() != size())
        Redraw();
    QPainter painter(this);
    for (const QRect& rect : event->region())
        painter.drawPixmap(rect, m_picture, rect);
}
