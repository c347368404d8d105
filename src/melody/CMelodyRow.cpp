#include "melody/CMelodyRow.h"

#include <QCoreApplication>

#include <algorithm>

#include "melody/CMelody.h"

namespace {
int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}
}

CMelodyRow CMelodyRow::FromFile(const QString& fileName, const CMelody& melody)
{
    CMelodyRow row;
    row.file = fileName;
    if (!melody.IsValid()) {
        row.type = QStringLiteral(" ");
        row.description = melody.error;
        return row;
    }
    row.type = QString(QLatin1Char(melody.kind));
    row.description = melody.description;
    row.hex = melody.Hex();
    return row;
}

CMelodyRow CMelodyRow::FromDevice(char kind, const std::vector<uint8_t>& bytes)
{
    CMelodyRow row;
    row.type = QString(QLatin1Char(kind));
    row.file = QStringLiteral("ESC");
    row.description = QCoreApplication::translate("CMelodyDlg", "current custom melody");
    std::vector<uint8_t> terminated = bytes;
    terminated.push_back(CMelody::kTerminator);
    row.hex = CMelody::Hex(terminated);
    return row;
}

std::vector<uint8_t> CMelodyRow::Decode(const QString& hex)
{
    std::vector<uint8_t> bytes;
    const int length = std::min<int>(static_cast<int>(hex.size()), kMaxHexLength);
    for (int i = 0; i + 1 < length && static_cast<int>(bytes.size()) < kMaxBytes; i += 2) {
        const int high = HexDigit(hex.at(i));
        const int low = HexDigit(hex.at(i + 1));
        if (high < 0 || low < 0)
            break;
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
        if (bytes.back() == CMelody::kTerminator)
            break;
    }
    return bytes;
}

bool CMelodyRow::IsMelody() const
{
    return type == QLatin1String("A") || type == QLatin1String("W");
}

char CMelodyRow::Kind() const
{
    return type.isEmpty() ? '\0' : static_cast<char>(type.at(0).toLatin1());
}
