#include "logger/CCurveTransfer.h"

#include <algorithm>

#include "library/CChanMap.h"
#include "link/ICellLoader.h"
#include "link/ICellWriter.h"
#include "logger/CCurve.h"

bool CCurveTransfer::Points::Complete() const
{
    return std::all_of(read.begin(), read.end(), [](bool ok) { return ok; });
}

CCurveTransfer::CCurveTransfer(ICellLoader& loader, ICellWriter& writer, CChanMap* image)
    : m_loader(loader), m_writer(writer), m_image(image)
{
}

CCurveTransfer::Points CCurveTransfer::Read(const CCurve& curve)
{
    Points points;
    points.values.assign(static_cast<std::size_t>(curve.Length()), kUnreadValue);
    points.read.assign(static_cast<std::size_t>(curve.Length()), false);
    for (int i = 0; i < curve.Length(); ++i) {
        uint8_t value = kUnreadValue;
        const auto at = static_cast<std::size_t>(i);
        points.read[at] = m_loader.LoadCell(curve.Cell(i), value);
        points.values[at] = points.read[at] ? value : kUnreadValue;
    }
    return points;
}

CCurveTransfer::WriteResult CCurveTransfer::Write(const CCurve& curve, const Points& before,
                                                  const std::vector<int>& values)
{
    WriteResult result;
    if (const std::optional<QString> refusal = curve.Refusal(values, before.values)) {
        result.status = WriteResult::Status::Refused;
        result.refusal = *refusal;
        return result;
    }
    const auto toWrite = [&](int i) {
        const auto at = static_cast<std::size_t>(i);
        const bool known = at < before.read.size() && before.read[at];
        return known || values[at] != kUnreadValue;
    };
    for (int i = 0; i < curve.Length(); ++i)
        result.toWrite += toWrite(i) ? 1 : 0;
    bool probed = false;
    for (int i = 0; i < curve.Length(); ++i) {
        if (!toWrite(i))
            continue;
        if (m_stop && m_stop()) {
            result.status = WriteResult::Status::Stopped;
            return result;
        }
        const auto at = static_cast<std::size_t>(i);
        const uint8_t cell = curve.Cell(i);
        const bool ok = m_writer.WriteCell(cell, static_cast<uint8_t>(values[at]));
        if (m_image != nullptr)
            m_image->InvalidateCell(cell);
        if (ok) {
            ++result.written;
            m_writer.Pause(kWritePauseMs);
            continue;
        }
        result.failedCells.push_back(cell);
        if (!probed) {
            probed = true;
            if (!m_writer.Probe()) {
                result.deviceLost = true;
                for (int rest = i + 1; rest < curve.Length(); ++rest) {
                    if (toWrite(rest))
                        result.failedCells.push_back(curve.Cell(rest));
                }
                break;
            }
        }
    }
    if (!result.failedCells.empty())
        result.status = WriteResult::Status::Failed;
    return result;
}
