#include "melody/CMelodyCells.h"

#include <QCoreApplication>

#include <algorithm>

#include "library/CDeviceSession.h"
#include "melody/CMelody.h"

namespace {
QString Byte(uint8_t value)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}
}

int CMelodyCells::FirstCell(char kind)
{
    return kind == 'A' ? kFirstCellA : kFirstCellW;
}

int CMelodyCells::AreaSize(char kind)
{
    return CMelody::ByteLimit(kind == 'A' ? 'A' : 'W');
}

QString CMelodyCells::WriteResult::Problem() const
{
    if (Ok())
        return QString();
    if (refused) {
        return QCoreApplication::translate("CMelodyCells", "its lead byte is 255, which marks a melody's end, so "
                                                           "the ESC would hold no melody; nothing written");
    }
    if (interrupted) {
        return QCoreApplication::translate("CMelodyCells", "interrupted after %1 of %2 cells; the melody cells now "
                                                           "hold part of it: write it again")
            .arg(cellsSent)
            .arg(written.size());
    }
    if (readFailed)
        return QCoreApplication::translate("CMelodyCells", "cell %1 cannot be read back").arg(badCell);
    const uint8_t expected = written[static_cast<size_t>(badCell - firstCell)];
    return QCoreApplication::translate("CMelodyCells", "cell %1 reads back %2, %3 was written")
        .arg(badCell)
        .arg(Byte(readBack), Byte(expected));
}

CMelodyCells::CMelodyCells(CDeviceSession& session) : m_session(session) {}

bool CMelodyCells::Read(int cell, uint8_t& value)
{
    CDeviceProtocol& protocol = m_session.Protocol();
    return protocol.SendCommand('r', 'e', static_cast<uint8_t>(cell), value, protocol.GetLimits().shortAnswerMs,
                                false);
}

std::vector<CMelodyRow> CMelodyCells::ReadRows()
{
    std::vector<CMelodyRow> rows;
    for (const char kind : {'A', 'W'}) {
        const int first = FirstCell(kind);
        std::vector<uint8_t> bytes;
        for (int i = 0; i < AreaSize(kind); ++i) {
            uint8_t value = CMelody::kTerminator;
            // A cell that does not answer ends the melody like a terminator.
            if (!Read(first + i, value) || value == CMelody::kTerminator)
                break;
            bytes.push_back(value);
        }
        if (bytes.size() >= 2)
            rows.push_back(CMelodyRow::FromDevice(kind, bytes));
    }
    return rows;
}

CMelodyCells::WriteResult CMelodyCells::Write(char kind, const std::vector<uint8_t>& bytes)
{
    WriteResult result;
    result.firstCell = FirstCell(kind);
    // A melody without a terminator in reach is cut so that its terminator
    // still lands inside the area: the cells after it belong to other
    // settings.
    const auto end = std::find(bytes.begin(), bytes.end(), CMelody::kTerminator);
    const auto count = std::min<std::ptrdiff_t>(end - bytes.begin(), AreaSize(kind) - 1);
    result.written.assign(bytes.begin(), bytes.begin() + count);
    result.written.push_back(CMelody::kTerminator);
    if (result.written.size() == 1) {
        result.refused = true;
        return result;
    }

    CDeviceProtocol& protocol = m_session.Protocol();
    const int limit = protocol.GetLimits().shortAnswerMs;
    for (size_t i = 0; i < result.written.size(); ++i) {
        if (m_stop && m_stop()) {
            result.interrupted = true;
            return result;
        }
        ++result.cellsSent;
        uint8_t answer = 0;
        // The answer is not examined: the read-back below tells.
        protocol.SendCommand('w', static_cast<uint8_t>(result.firstCell + static_cast<int>(i)), result.written[i],
                             answer, limit, false);
        m_session.Image().InvalidateCell(result.firstCell + static_cast<int>(i));
    }

    protocol.Pause(kReadBackPauseMs);
    for (size_t i = 0; i < result.written.size(); ++i) {
        const int cell = result.firstCell + static_cast<int>(i);
        uint8_t value = 0;
        if (!Read(cell, value)) {
            result.badCell = cell;
            result.readFailed = true;
            break;
        }
        if (value != result.written[i]) {
            result.badCell = cell;
            result.readBack = value;
            break;
        }
    }
    return result;
}
