#pragma once

#include "controls/CColourContrast.h"

#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPalette>

// A light and a dark window palette as desktop themes set them, for
// checking how windows and controls look in each.
namespace ThemePalettes {

inline QPalette Light()
{
    QPalette palette(QColor(239, 239, 239));
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::black);
    return palette;
}

inline QPalette Dark()
{
    QPalette palette(QColor(53, 53, 53), QColor(42, 42, 42));  // button, window
    palette.setColor(QPalette::Window, QColor(42, 42, 42));
    palette.setColor(QPalette::Base, QColor(30, 30, 30));
    palette.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
    palette.setColor(QPalette::ToolTipBase, QColor(60, 60, 60));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    // Light text on every background, grey where disabled; one blue marks
    // selections and links.
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText})
        palette.setColor(role, QColor(230, 230, 230));
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(120, 120, 120));
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::Link})
        palette.setColor(role, QColor(42, 130, 218));
    return palette;
}

// Sets the application's palette for its lifetime.
class Scope {
public:
    explicit Scope(const QPalette& palette) : m_saved(QApplication::palette()) { QApplication::setPalette(palette); }
    ~Scope() { QApplication::setPalette(m_saved); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    QPalette m_saved;
};

// The pixels of the icon, drawn 32 pixels wide on the window colour, that
// stand out 3:1 from it.
inline int VisibleInk(const QIcon& icon, const QColor& window)
{
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(window);
    {
        QPainter painter(&image);
        icon.paint(&painter, image.rect());
    }
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ink += CColourContrast::Ratio(image.pixelColor(x, y), window) >= 3.0 ? 1 : 0;
    return ink;
}

}  // namespace ThemePalettes
