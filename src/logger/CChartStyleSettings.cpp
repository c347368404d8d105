#include "logger/CChartStyleSettings.h"

#include "base/CIniFile.h"

#include <QRegularExpression>

#include <array>

namespace {
struct Rgb {
    int red;
    int green;
    int blue;
};
// Yellow, cyan and orange are darkened in their own hue until they stand
// out 3:1 from white, so that every series can be read on a light chart.
constexpr std::array<Rgb, 10> kPalette = {{{255, 0, 0},
                                           {0, 150, 0},
                                           {0, 0, 255},
                                           {154, 154, 0},
                                           {0, 165, 165},
                                           {232, 117, 0},
                                           {128, 0, 128},
                                           {128, 128, 0},
                                           {255, 0, 255},
                                           {64, 128, 128}}};

// "%f,%f" as scanf reads it: a number, a comma right after it, a number;
// anything after the second number is ignored. The point is always ".",
// whatever the user's locale.
bool ParseRange(const QString& text, double& minimum, double& maximum)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^\s*([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?),\s*([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?))"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    minimum = match.captured(1).toDouble();
    maximum = match.captured(2).toDouble();
    return true;
}
}

QString CChartStyleSettings::Section(const QString& name)
{
    return QStringLiteral("Chart.") + name;
}

int CChartStyleSettings::PaletteColour(int index)
{
    const Rgb& rgb = kPalette[static_cast<std::size_t>(((index % 10) + 10) % 10)];
    return rgb.blue * 65536 + rgb.green * 256 + rgb.red;
}

CChartStyleSettings CChartStyleSettings::Read(const CIniFile& ini, const QString& name, int paletteIndex)
{
    const QString section = Section(name);
    CChartStyleSettings style;
    const int colour = ini.Int(section, QStringLiteral("Color"), -1);
    if (colour != -1)
        style.colour = colour;
    else if (paletteIndex >= 0)
        style.colour = PaletteColour(paletteIndex);
    style.visible = ini.Int(section, QStringLiteral("Visible"), 1) != 0;
    const int align = ini.Int(section, QStringLiteral("Align"), 0);
    if (align == 1) {
        style.mode = 1;
    } else if (align == 2) {
        double minimum = 0;
        double maximum = 0;
        if (ParseRange(ini.String(section, QStringLiteral("Range"), QStringLiteral("0.0,10.0")), minimum, maximum)) {
            style.mode = 2;
            style.minimum = minimum;
            style.maximum = maximum;
        }
    }
    return style;
}

void CChartStyleSettings::Write(CIniFile& ini, const QString& name) const
{
    const QString section = Section(name);
    ini.SetInt(section, QStringLiteral("Color"), colour.value_or(0));
    ini.SetValue(section, QStringLiteral("Visible"), visible ? QStringLiteral("1") : QStringLiteral("0"));
    ini.SetInt(section, QStringLiteral("Align"), mode);
    if (mode == 2)
        ini.SetValue(section, QStringLiteral("Range"), QString::asprintf("%f,%f", minimum, maximum));
}
