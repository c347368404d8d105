// Format texts and numbers from the device library: a printf-style format
// for a formula's result (CDoubleFormat) and the leading-number rules of
// attributes (CXmlAttributes). A format that is accepted must format every
// kind of double without fault.

#include "FuzzInput.h"

#include "library/CDoubleFormat.h"
#include "library/CXmlAttributes.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArray formatBytes = input.Chunk();
    const QString format = QString::fromUtf8(formatBytes);

    double fuzzed = 0;
    const QByteArray valueBytes = input.Bytes(sizeof(double));
    std::memcpy(&fuzzed, valueBytes.constData(), static_cast<size_t>(valueBytes.size()));
    const double values[] = {fuzzed,
                             0.0,
                             -0.0,
                             1.5,
                             -123456.789,
                             std::numeric_limits<double>::max(),
                             -std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    const bool valid = CDoubleFormat::IsValid(format);
    for (const double value : values) {
        const std::optional<QString> text = CDoubleFormat::Format(format, value);
        if (text.has_value() != valid) {
            std::fprintf(stderr, "CDoubleFormat: Format disagrees with IsValid\n");
            std::abort();
        }
    }

    // The rest as an attribute text (zero-terminated, as pugixml hands it).
    QByteArray text = input.Rest();
    text.append('\0');
    CXmlAttributes::LeadingInt(text.constData());
    CXmlAttributes::LeadingReal(text.constData());
    CXmlAttributes::LeadingInt(formatBytes.constData());
    CXmlAttributes::LeadingReal(formatBytes.constData());
    return 0;
}
