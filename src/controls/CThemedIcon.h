#pragma once

#include <QByteArray>
#include <QIcon>
#include <QPalette>
#include <QString>

// The program's SVG icons for the window's palette. They are drawn with
// grey ink for a light window; on a dark one (its Window colour nearer
// black than white) every grey of the drawing is mirrored in lightness,
// so that dark outlines and glyphs turn light and stay visible, and a
// colour too dark to stand out 3:1 from the window is lightened in its hue.
class CThemedIcon {
public:
    // The icon of an SVG file or resource (":/icons/...") for the palette.
    static QIcon Load(const QString& path, const QPalette& palette);
    // For the application's palette.
    static QIcon Load(const QString& path);

    // True when icons for this palette need their greys mirrored.
    static bool IsDark(const QPalette& palette);
    // The SVG text with every "#rrggbb" colour changed for a dark window.
    static QByteArray ForDarkWindow(const QByteArray& svg, const QColor& window);
};
