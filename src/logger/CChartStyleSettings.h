#pragma once

#include <QString>

#include <optional>

class CIniFile;

// A chart series's style as TORV.ini keeps it in section "Chart." + the
// series name: "Color" (blue * 65536 + green * 256 + red), "Visible",
// "Align" (0 Auto, 1 Aligned to zero, 2 Custom) and, for Custom only,
// "Range" as "%f,%f".
struct CChartStyleSettings {
    std::optional<int> colour;  // none: neither the settings nor the library give one
    bool visible = true;
    int mode = 0;               // 0 Auto, 1 Aligned to zero, 2 Custom
    double minimum = 0;         // the custom range, for mode 2
    double maximum = 10;

    static QString Section(const QString& name);  // "Chart.%s"

    // The colour integer of palette entry index (taken modulo 10).
    static int PaletteColour(int index);

    // The style stored for a series; without a stored colour the channel's
    // palette index (-1: none) gives it. "Align" 2 with a "Range" that is
    // not two numbers leaves the series in Auto.
    static CChartStyleSettings Read(const CIniFile& ini, const QString& name, int paletteIndex = -1);
    // Sets the keys; "Range" only for mode 2.
    void Write(CIniFile& ini, const QString& name) const;
};
