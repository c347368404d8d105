#pragma once

#include <QFrame>
#include <QStringList>

// A text that never shows cut mid-word: on one line it ends in "…" when it
// does not fit; with more lines allowed it wraps at word boundaries and only
// its last line is cut. The whole text is the tooltip. The shown lines
// follow every resize, and the height asked for follows their count.
class CElidedLabel : public QFrame {
    Q_OBJECT
public:
    explicit CElidedLabel(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return m_text; }
    // 1 (the default) cuts on one line; more wraps up to that many lines.
    void SetMaxLines(int lines);
    int MaxLines() const { return m_maxLines; }
    // The lines as drawn at the present width.
    QStringList ShownLines() const { return m_lines; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QStringList LayOut(int width) const;
    void Relayout();

    QString m_text;
    int m_maxLines = 1;
    QStringList m_lines;
};
