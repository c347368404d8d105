#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

#include "logger/CCurve.h"
#include "logger/CCurveTransfer.h"

class CCliArguments;
class CCliDevice;

// The curve commands of torv-cli: show the device's curves with their points
// as the ESC reports them, and set the points of one curve, checked against
// its limits first and read back afterwards. Over the classes the window's
// curve editor uses.
class CCliCurves {
public:
    CCliCurves(const CCliArguments& arguments, CCliDevice& device);

    int Show();
    int Set();

    // "0,26,51": the values of a curve. None with error set when a value is
    // not a whole number.
    static std::optional<std::vector<int>> ParseValues(const QString& text, QString& error);

private:
    // The usable curves of the device; refused descriptions are reported on
    // standard error when report is set.
    std::vector<CCurve> Curves(bool report) const;
    // The curve called name (case ignored; a unique beginning is enough).
    std::optional<CCurve> Find(const QString& name, QString& error) const;
    CCurveTransfer Transfer() const;
    static QString PointsText(const CCurveTransfer::Points& points);
    static QJsonObject Json(const CCurve& curve, const CCurveTransfer::Points& points);
    static QString Line(const CCurve& curve, const CCurveTransfer::Points& points);

    const CCliArguments& m_args;
    CCliDevice& m_device;
};
