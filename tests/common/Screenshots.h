#pragma once

#include "common/ThemePalettes.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <vector>

// Pictures of the windows for the documentation (docs/screenshots), made
// by the window tests when TORV_SCREENSHOT_DIR names a folder, in a light
// theme and, with "-dark" before ".png", in a dark one.
namespace Screenshots {

struct Theme {
    QPalette palette;
    QString suffix;
};

inline std::vector<Theme> Themes()
{
    return {{ThemePalettes::Light(), QString()}, {ThemePalettes::Dark(), QStringLiteral("-dark")}};
}

// The folder, created; empty when no pictures are wanted.
inline QString Folder()
{
    const QString folder = qEnvironmentVariable("TORV_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        QDir().mkpath(folder);
    return folder;
}

// Sets the application's palette for its lifetime.
class ThemeScope : public ThemePalettes::Scope {
public:
    explicit ThemeScope(const Theme& theme) : ThemePalettes::Scope(theme.palette) {}
};

// Saves the widget as shown, after pending events; with an overlay (a
// tooltip window) painted over it at its place on the screen.
inline bool Save(QWidget& widget, const QString& folder, const QString& name, const Theme& theme,
                 QWidget* overlay = nullptr)
{
    QApplication::processEvents();
    QPixmap picture = widget.grab();
    if (overlay != nullptr) {
        QPainter painter(&picture);
        painter.drawPixmap(widget.mapFromGlobal(overlay->mapToGlobal(QPoint(0, 0))), overlay->grab());
    }
    return picture.save(QDir(folder).filePath(name + theme.suffix + QStringLiteral(".png")));
}

}  // namespace Screenshots
