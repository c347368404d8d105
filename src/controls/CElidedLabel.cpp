#include "controls/CElidedLabel.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

CElidedLabel::CElidedLabel(QWidget* parent)
    : QFrame(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void CElidedLabel::SetText(const QString& text)
{
    m_text = text;
    setToolTip(text);
    Relayout();
}

void CElidedLabel::SetMaxLines(int lines)
{
    m_maxLines = std::max(1, lines);
    Relayout();
}

QStringList CElidedLabel::LayOut(int width) const
{
    const QFontMetrics metrics = fontMetrics();
    width = std::max(0, width);
    QString text = m_text;
    if (m_maxLines == 1) {
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return {metrics.elidedText(text, Qt::ElideRight, width)};
    }

    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QStringList lines;
    QTextLayout layout(text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (int index = 0; index < m_maxLines; ++index) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (index == m_maxLines - 1) {
            // The last line allowed takes the rest of the text, cut to fit.
            QString rest = text.mid(line.textStart());
            rest.replace(QChar::LineSeparator, QLatin1Char(' '));
            lines.append(metrics.elidedText(rest.trimmed(), Qt::ElideRight, width));
            break;
        }
        QString part = text.mid(line.textStart(), line.textLength());
        part.remove(QChar::LineSeparator);
        lines.append(part.trimmed());
    }
    layout.endLayout();
    if (lines.isEmpty())
        lines.append(QString());
    return lines;
}

void CElidedLabel::Relayout()
{
    const QStringList lines = LayOut(contentsRect().width());
    const bool heightChanged = lines.size() != m_lines.size();
    m_lines = lines;
    if (heightChanged)
        updateGeometry();
    update();
}

QSize CElidedLabel::sizeHint() const
{
    const QMargins margins = contentsMargins();
    const int lines = std::max<int>(1, static_cast<int>(m_lines.size()));
    return QSize(fontMetrics().averageCharWidth() * 10 + margins.left() + margins.right(),
                 lines * fontMetrics().lineSpacing() + margins.top() + margins.bottom());
}

QSize CElidedLabel::minimumSizeHint() const
{
    return QSize(0, sizeHint().height());
}

void CElidedLabel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect area = contentsRect();
    const int lineHeight = fontMetrics().lineSpacing();
    int top = area.top() + std::max(0, (area.height() - lineHeight * static_cast<int>(m_lines.size())) / 2);
    for (const QString& line : m_lines) {
        painter.drawText(QRect(area.left(), top, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, line);
        top += lineHeight;
    }
}

void CElidedLabel::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    Relayout();
}

void CElidedLabel::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        Relayout();
}
