#pragma once

#include <QString>
#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <vector>

#include "library/CFileParameters.h"

// One curve the ESC keeps in its cells, as the device library describes it:
// a Curve element with a name, the first cell and the number of points. Point
// i lives in cell (start + i) mod 256; each point is one byte.
class CCurve {
public:
    static constexpr int kCells = 256;
    static constexpr int kMinValue = 0;
    static constexpr int kMaxValue = 255;
    // From this many points on, the first and the last point stay fixed.
    static constexpr int kFixedEndsFrom = 3;

    // The Curve elements below the ESC element (.//Curves/Curve), in
    // document order: another ESC's curves live in cells that mean something
    // else on this one.
    static std::vector<pugi::xml_node> Elements(const pugi::xml_node& esc);

    // The curve of an element. None when an attribute is missing, or when
    // the description is unusable: a start outside the cells, or a length
    // below 1 or above 256 (more points than cells would write one cell
    // twice). error, when given, then says why.
    static std::optional<CCurve> FromElement(const pugi::xml_node& element, QString* error = nullptr);

    // Every point of every usable curve of the ESC, named for a comparison
    // of cells: "<curve> point <n> (cell <c>)".
    static std::vector<CFileParameters::NamedCell> PointCells(const pugi::xml_node& esc);

    CCurve(QString name, int start, int length);

    const QString& Name() const { return m_name; }
    int Start() const { return m_start; }
    int Length() const { return m_length; }
    // The cell of point i.
    uint8_t Cell(int i) const { return static_cast<uint8_t>((m_start + i) % kCells); }
    bool EndsFixed() const { return m_length >= kFixedEndsFrom; }

    // Why the values cannot be written over the points read from the ESC:
    // another number of values than points, a value outside 0..255, or a
    // changed first or last point of a curve whose ends are fixed. None when
    // they can.
    std::optional<QString> Refusal(const std::vector<int>& values, const std::vector<uint8_t>& read) const;

private:
    QString m_name;
    int m_start;
    int m_length;
};
