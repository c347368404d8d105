// The melody file (*.tsm): an arbitrary file read and parsed as the melody
// list reads it, and the same bytes parsed directly (so that a read past
// the end of the text is caught by the sanitizer). A melody has its kind,
// at most its kind's bytes and a terminator; an error carries nothing else.

#include "FuzzInput.h"

#include "melody/CMelodyFile.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

void Check(const CMelody& melody, const char* what)
{
    const bool consistent = melody.IsValid()
        ? (melody.kind == 'A' || melody.kind == 'W') && melody.bytes.size() >= 2 &&
              melody.bytes.size() <= static_cast<size_t>(CMelody::ByteLimit(melody.kind)) &&
              melody.bytes.back() == CMelody::kTerminator &&
              melody.Hex().size() == static_cast<qsizetype>(2 * melody.bytes.size()) &&
              melody.description.size() <= CMelody::kDescriptionLength
        : melody.kind == 0 && melody.bytes.empty() && melody.description.isEmpty();
    if (!consistent) {
        std::fprintf(stderr, "%s: kind %d, %zu bytes, error '%s'\n", what, melody.kind, melody.bytes.size(),
                     qPrintable(melody.error));
        std::abort();
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir* folder = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        return new QTemporaryDir;
    }();
    const QString path = folder->filePath(QStringLiteral("input.tsm"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::abort();
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    Check(CMelodyFile::Read(path), "CMelodyFile::Read");
    Check(CMelodyFile::Parse(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))),
          "CMelodyFile::Parse");
    return 0;
}
