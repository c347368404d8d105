#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

#include "link/CCrc16.h"

// Update files for the firmware tests.
namespace FirmwareTestSupport {

// An image of the given size whose bytes are not all alike.
inline std::vector<uint8_t> Image(size_t size)
{
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i)
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    return image;
}

inline QByteArray UpdText(int devId, int hardware, const char* version, const char* description,
                          const std::vector<uint8_t>& image)
{
    QByteArray text = "[Firmware]\nDevId=" + QByteArray::number(devId) + "\nHardwareVer=" +
                      QByteArray::number(hardware) + "\nVer=" + version + "\nDescription=" + description + "\n[Hex]\n";
    for (size_t at = 0; at < image.size(); at += 16) {
        const uint16_t crc = CCrc16::Compute(image.data() + at, 16);
        QByteArray line = QByteArray(reinterpret_cast<const char*>(image.data() + at), 16).toHex().toUpper();
        line += QByteArray::number(crc >> 8, 16).rightJustified(2, '0').toUpper();
        line += QByteArray::number(crc & 0xFF, 16).rightJustified(2, '0').toUpper();
        text += line + "\n";
    }
    return text;
}

}
