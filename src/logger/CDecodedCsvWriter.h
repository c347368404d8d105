#pragma once

#include "logger/CDataProcessor.h"

#include <QByteArray>
#include <QString>

// A decoded log as a plain CSV for other tools: the header
// "time,<label>,<label>,...", then one row per sample with the time in
// seconds and the channel values, up to 9 significant digits, "\n" line
// ends. Labels with a comma or a quote are quoted.
class CDecodedCsvWriter {
public:
    static QByteArray Format(const DecodedLog& log);
    static bool Save(const QString& path, const DecodedLog& log, QString* error = nullptr);
};
