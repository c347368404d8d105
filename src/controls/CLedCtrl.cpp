#include "controls/CLedCtrl.h"

#include <QPainter>

#include <array>

namespace {

constexpr std::array<int, 10> kDigitSegments = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
constexpr int kMinus = 0x40;

const QColor kFace(0, 0, 0);

// Widths of a digit cell and a narrow cell for a given digit height.
qreal DigitWidth(qreal height)
{
    return height * 0.55;
}

qreal NarrowWidth(qreal height)
{
    return height * 0.25;
}

// The colour of unlit segments: the colour faintly on the face.
QColor Unlit(const QColor& colour)
{
    return QColor(colour.red() / 7, colour.green() / 7, colour.blue() / 7);
}

// The seven segments of a digit cell as line pieces, bit order as Segments().
std::array<QLineF, 7> SegmentLines(const QRectF& cell, qreal gap)
{
    const qreal left = cell.left();
    const qreal right = cell.right();
    const qreal top = cell.top();
    const qreal bottom = cell.bottom();
    const qreal middle = (top + bottom) / 2;
    return {QLineF(left + gap, top, right - gap, top),
            QLineF(right, top + gap, right, middle - gap),
            QLineF(right, middle + gap, right, bottom - gap),
            QLineF(left + gap, bottom, right - gap, bottom),
            QLineF(left, middle + gap, left, bottom - gap),
            QLineF(left, top + gap, left, middle - gap),
            QLineF(left + gap, middle, right - gap, middle)};
}

}

QColor CLedCtrl::FieldColour(Field field)
{
    switch (field) {
    case Field::Servo:
        return QColor(0, 150, 0);
    case Field::Rpm:
        return QColor(255, 0, 0);
    case Field::Voltage:
        return QColor(64, 128, 128);
    case Field::Current:
        return QColor(0, 0, 255);
    case Field::TempA:
        return QColor(255, 128, 0);
    }
    return QColor(0, 150, 0);
}

CLedCtrl::CLedCtrl(QWidget* parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CLedCtrl::SetText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

void CLedCtrl::SetColour(const QColor& colour)
{
    m_colour = colour;
    update();
}

int CLedCtrl::Segments(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return kDigitSegments[static_cast<size_t>(c.unicode() - '0')];
    if (c == QLatin1Char('-'))
        return kMinus;
    return 0;
}

bool CLedCtrl::IsNarrow(QChar c)
{
    return c == QLatin1Char(':') || c == QLatin1Char(';') || c == QLatin1Char('.') || c == QLatin1Char(',');
}

QSize CLedCtrl::sizeHint() const
{
    const qreal height = 24;
    qreal width = 0;
    for (QChar c : m_text)
        width += IsNarrow(c) ? NarrowWidth(height) : DigitWidth(height);
    const int frame = 2 * frameWidth() + 8;
    return QSize(qMax(64, qRound(width) + frame), qRound(height) + frame);
}

QSize CLedCtrl::minimumSizeHint() const
{
    return QSize(24, 16);
}

void CLedCtrl::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.fillRect(contentsRect(), kFace);
        painter.setRenderHint(QPainter::Antialiasing);

        const QRectF area = QRectF(contentsRect()).adjusted(3, 3, -3, -3);
        const qreal height = area.height();
        if (height > 4 && !m_text.isEmpty()) {
            const qreal thickness = qMax<qreal>(1.5, height / 9);
            const qreal gap = thickness * 0.6;
            const qreal spacing = thickness;
            // Laid out from the right edge back.
            qreal x = area.right();
            for (qsizetype i = m_text.size() - 1; i >= 0 && x > area.left(); --i) {
                const QChar c = m_text[i];
                const qreal width = IsNarrow(c) ? NarrowWidth(height) : DigitWidth(height);
                const QRectF cell(x - width, area.top(), width, height);
                x -= width + spacing;
                const QRectF inner = cell.adjusted(thickness / 2, thickness / 2, -thickness / 2, -thickness / 2);

                QPen pen(m_colour, thickness, Qt::SolidLine, Qt::RoundCap);
                if (IsNarrow(c)) {
                    painter.setPen(Qt::NoPen);
                    painter.setBrush(m_colour);
                    const qreal r = thickness * 0.65;
                    const QPointF low(inner.center().x(), inner.bottom() - r / 2);
                    const QPointF high(inner.center().x(), inner.top() + inner.height() * 0.3);
                    if (c == QLatin1Char(':') || c == QLatin1Char(';'))
                        painter.drawEllipse(high, r, r);
                    if (c == QLatin1Char(':'))
                        painter.drawEllipse(QPointF(high.x(), inner.top() + inner.height() * 0.75), r, r);
                    else
                        painter.drawEllipse(low, r, r);
                    if (c == QLatin1Char(',') || c == QLatin1Char(';')) {
                        // The tail of a comma.
                        painter.setPen(pen);
                        painter.drawLine(QPointF(low.x() + r * 0.6, low.y()), QPointF(low.x() - r, cell.bottom() + thickness));
                    }
                    continue;
                }
                if (c == QLatin1Char('/')) {
                    painter.setPen(pen);
                    painter.drawLine(inner.bottomLeft(), inner.topRight());
                    continue;
                }
                const int lit = Segments(c);
                if (lit == 0 && c != QLatin1Char('-'))
                    continue;  // an unknown character stays blank
                const std::array<QLineF, 7> lines = SegmentLines(inner, gap);
                for (int s = 0; s < 7; ++s) {
                    pen.setColor((lit & (1 << s)) != 0 ? m_colour : Unlit(m_colour));
                    painter.setPen(pen);
                    painter.drawLine(lines[static_cast<size_t>(s)]);
                }
            }
        }
    }
    QFrame::paintEvent(event);
}
