#pragma once

#include <QColor>
#include <QFrame>
#include <QString>

// A value field that shows its text as seven-segment digits in one colour
// on a dark face, right-aligned. It knows '0'-'9', '-', ':', ';', '.', ','
// and '/'; the four punctuation marks take a narrow cell, every other
// character is an empty digit cell.
class CLedCtrl : public QFrame {
    Q_OBJECT
public:
    // The measurement panel's value fields and their colours.
    enum class Field { Servo, Rpm, Voltage, Current, TempA };
    static QColor FieldColour(Field field);

    explicit CLedCtrl(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return m_text; }
    void SetColour(const QColor& colour);
    QColor Colour() const { return m_colour; }

    // Which segments a character lights: bit 0 top, then clockwise (1 upper
    // right, 2 lower right, 3 bottom, 4 lower left, 5 upper left), bit 6 the
    // middle. 0 for characters drawn otherwise or not at all.
    static int Segments(QChar c);
    static bool IsNarrow(QChar c);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_colour = QColor(0, 150, 0);
};
