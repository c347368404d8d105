#pragma once

#include <QPixmap>
#include <QWidget>

#include <cstdint>
#include <vector>

// A curve of byte values (0 at the bottom, 255 at the top, one pixel per
// unit) drawn as a polyline through square handles that can be dragged up
// and down with the mouse. The keyboard moves the selected point too: Left
// and Right select, Up and Down move it by one, Page Up and Page Down by
// ten, Home and End to the top and the bottom. With the ends fixed the first
// and the last point cannot be moved. An optional straight reference line
// joins the first and the last point. Light grid lines mark every
// kGridStep units, and a read-out in the top left corner names the selected
// (or dragged) point and its value; both take their colours from the palette.
class CCurveCtrl : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxValue = 255;
    static constexpr int kHandleSize = 9;
    static constexpr int kMarginX = 10;
    static constexpr int kMarginY = 6;
    static constexpr int kPageStep = 10;
    static constexpr int kGridStep = 32;

    explicit CCurveCtrl(QWidget* parent = nullptr);

    // Takes the points; with fixEnds the first and last stay where they are.
    void SetPoints(const std::vector<uint8_t>& points, bool fixEnds);
    const std::vector<uint8_t>& Points() const { return m_points; }
    bool EndsFixed() const { return m_fixEnds; }
    void SetLine(bool shown);
    bool LineShown() const { return m_line; }

    // -1 while no point is being dragged.
    int DraggedPoint() const { return m_dragged; }
    int SelectedPoint() const { return m_selected; }
    // The centre of point i's handle at the present size.
    QPoint PointCentre(int i) const;
    // The point whose handle holds pos and that may move; -1 when none.
    int HitTest(const QPoint& pos) const;

    // "Point 2 of 5: 40" for the dragged or else the selected point; empty
    // when there is none.
    QString ReadOut() const;
    // The grid's colour: a little of the text colour over the background.
    static QColor GridColour(const QPalette& palette);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A point took a new value.
    void changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool Movable(int i) const;
    int Spacing() const;
    int ValueAt(int y) const;
    void SetValue(int i, int value);
    void SelectNext(int step);
    void MakeHandle();
    void DrawGrid(QPainter& painter) const;
    void DrawReadOut(QPainter& painter) const;

    std::vector<uint8_t> m_points;
    bool m_fixEnds = false;
    bool m_line = true;
    int m_dragged = -1;
    int m_selected = -1;
    QPixmap m_handle;
};
