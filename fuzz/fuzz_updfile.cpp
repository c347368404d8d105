// The firmware update file (*.upd): an arbitrary file read for its
// [Firmware] profile and its [Hex] image, as the firmware list and the
// upload read it. A good image is a whole number of pages; a refused one
// carries no bytes.

#include "FuzzInput.h"

#include "firmware/CUpdateFile.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir* folder = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        return new QTemporaryDir;
    }();
    const QString path = folder->filePath(QStringLiteral("input.upd"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::abort();
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }

    const CUpdateFile::Info info = CUpdateFile::ReadInfo(path);
    (void)info.OneLine();
    (void)info.Lines();
    const CUpdateFile::Image image = CUpdateFile::ReadImage(path);
    const bool ok = image.status == CUpdateFile::Image::Status::Ok;
    const bool consistent =
        ok ? !image.bytes.empty() && image.bytes.size() % CUpdateFile::kPageSize == 0 && image.size == image.bytes.size()
           : image.bytes.empty() && (image.status != CUpdateFile::Image::Status::CrcError || image.line >= 2);
    if (!consistent) {
        std::fprintf(stderr, "CUpdateFile::ReadImage: status %d, line %d, %zu bytes, size %zu\n",
                     static_cast<int>(image.status), image.line, image.bytes.size(), image.size);
        std::abort();
    }
    return 0;
}
