// The parameter file (*.escp): an arbitrary file content turned into the
// cell image that loading writes to the device. Content shorter than 128
// bytes is refused; longer content gives its first 128 bytes.

#include "FuzzInput.h"

#include "library/CParameterFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<CParameterFile::Image> image = CParameterFile::ParseImage(bytes);
    const bool expected = size >= static_cast<size_t>(CParameterFile::kFileSize);
    if (image.has_value() != expected
        || (image && std::memcmp(image->data(), data, CParameterFile::kFileSize) != 0)) {
        std::fprintf(stderr, "CParameterFile::ParseImage: wrong image for %zu bytes\n", size);
        std::abort();
    }
    return 0;
}
