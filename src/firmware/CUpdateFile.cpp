#include "firmware/CUpdateFile.h"

#include <QFile>

#include "base/CIniFile.h"
#include "link/CCrc16.h"

namespace {
const QString kSection = QStringLiteral("Firmware");
constexpr int kLineDigits = 36;
constexpr qint64 kLineLimit = 1023;

// One hex digit; false for a character that is none (such a line cannot
// carry the data its CRC vouches for).
bool HexValue(char c, uint8_t& value)
{
    if (c >= '0' && c <= '9')
        value = static_cast<uint8_t>(c - '0');
    else if (c >= 'A' && c <= 'F')
        value = static_cast<uint8_t>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
        value = static_cast<uint8_t>(c - 'a' + 10);
    else
        return false;
    return true;
}

// The 18 bytes of a data line: 16 data bytes and the CRC, high byte first.
// False for a line shorter than 36 digits or with a non-hex character.
bool DecodeLine(const QByteArray& line, uint8_t (&bytes)[18])
{
    if (line.size() < kLineDigits)
        return false;
    for (int i = 0; i < 18; ++i) {
        uint8_t high = 0;
        uint8_t low = 0;
        if (!HexValue(line.at(2 * i), high) || !HexValue(line.at(2 * i + 1), low))
            return false;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}
}

QString CUpdateFile::Info::OneLine() const
{
    QString text;
    for (const QString& piece : Pieces(description))
        text += piece + QLatin1Char(' ');
    return text;
}

QString CUpdateFile::Info::Lines() const
{
    QString text;
    for (const QString& piece : Pieces(description))
        text += piece + QStringLiteral("\r\n");
    return text;
}

QStringList CUpdateFile::Pieces(const QString& description)
{
    return description.split(QLatin1Char('$'), Qt::SkipEmptyParts);
}

CUpdateFile::Info CUpdateFile::ReadInfo(const QString& path)
{
    CIniFile profile(path);
    profile.Load();
    Info info;
    info.path = path;
    info.deviceId = profile.Int(kSection, QStringLiteral("DevId"), 0);
    info.hardwareVersion = profile.Int(kSection, QStringLiteral("HardwareVer"), 0);
    info.version = profile.String(kSection, QStringLiteral("Ver"), QString(), kVersionLength);
    info.description = profile.String(kSection, QStringLiteral("Description"), QString(), kDescriptionLength);
    return info;
}

CUpdateFile::Image CUpdateFile::ReadImage(const QString& path)
{
    Image image;
    QFile file(path);
    // A file that cannot be opened now is refused as an empty image.
    if (!file.open(QIODevice::ReadOnly))
        return image;

    int lineNumber = 0;
    std::vector<uint8_t> bytes;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(kLineLimit + 1);
        if (lineNumber == 0) {
            if (line.left(5).toUpper() == "[HEX]")
                lineNumber = 1;
            continue;
        }
        ++lineNumber;
        uint8_t decoded[18] = {};
        const bool ok = DecodeLine(line, decoded) &&
                        CCrc16::Compute(decoded, kLineBytes) == static_cast<uint16_t>(decoded[16] << 8 | decoded[17]);
        if (!ok) {
            image.status = Image::Status::CrcError;
            image.line = lineNumber;
            return image;
        }
        bytes.insert(bytes.end(), decoded, decoded + kLineBytes);
    }
    image.size = bytes.size();
    if (bytes.empty() || bytes.size() % kPageSize != 0)
        return image;
    image.status = Image::Status::Ok;
    image.bytes = std::move(bytes);
    return image;
}
