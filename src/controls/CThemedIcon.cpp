#include "controls/CThemedIcon.h"

#include "controls/CColourContrast.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <QRegularExpression>

#include <array>
#include <cstdlib>

// The resources live in the widget library; a static library needs them
// registered by name (outside any namespace).
static void InitIconResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {
// A colour whose channels differ by no more than this is a grey.
constexpr int kGreyTolerance = 24;
// The sizes an icon is rendered at: toolbars, menus, dialog icons, and
// twice each for high-density screens.
constexpr std::array<int, 6> kSizes = {16, 22, 24, 32, 48, 64};

bool IsGrey(const QColor& colour)
{
    const int hi = std::max({colour.red(), colour.green(), colour.blue()});
    const int lo = std::min({colour.red(), colour.green(), colour.blue()});
    return hi - lo <= kGreyTolerance;
}
}

bool CThemedIcon::IsDark(const QPalette& palette)
{
    return !CColourContrast::IsLight(palette.color(QPalette::Active, QPalette::Window));
}

QByteArray CThemedIcon::ForDarkWindow(const QByteArray& svg, const QColor& window)
{
    static const QRegularExpression hex(QStringLiteral("#([0-9a-fA-F]{6})\\b"));
    QString text = QString::fromUtf8(svg);
    QString out;
    out.reserve(text.size());
    qsizetype last = 0;
    auto it = hex.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        out += QStringView(text).mid(last, match.capturedStart() - last);
        QColor colour(match.captured(0));
        if (IsGrey(colour))
            colour.setRgb(255 - colour.red(), 255 - colour.green(), 255 - colour.blue());
        else
            colour = CColourContrast::Readable(colour, window);
        out += colour.name();
        last = match.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out.toUtf8();
}

QIcon CThemedIcon::Load(const QString& path, const QPalette& palette)
{
    InitIconResources();
    if (!IsDark(palette))
        return QIcon(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QIcon(path);
    const QByteArray svg = ForDarkWindow(file.readAll(), palette.color(QPalette::Active, QPalette::Window));
    QIcon icon;
    for (const int size : kSizes) {
        QBuffer buffer;
        buffer.setData(svg);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "svg");
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon.isNull() ? QIcon(path) : icon;
}

QIcon CThemedIcon::Load(const QString& path)
{
    return Load(path, QGuiApplication::palette());
}
