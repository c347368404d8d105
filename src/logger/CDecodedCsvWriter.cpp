#include "logger/CDecodedCsvWriter.h"

#include "base/CAtomicFile.h"

#include <cstdio>

namespace {

QByteArray Quoted(const QString& label)
{
    QByteArray text = label.toUtf8();
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n') && !text.contains('\r'))
        return text;
    text.replace("\"", "\"\"");
    return '"' + text + '"';
}

void AppendNumber(QByteArray& text, double value)
{
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, "%.9g", value);
    text.append(buffer, n);
}

} // namespace

QByteArray CDecodedCsvWriter::Format(const DecodedLog& log)
{
    QByteArray text = "time";
    for (const LogSeries& series : log.series)
        text += ',' + Quoted(series.label);
    text += '\n';
    for (std::size_t i = 0; i < log.time.size(); ++i) {
        AppendNumber(text, log.time[i]);
        for (const LogSeries& series : log.series) {
            text += ',';
            AppendNumber(text, i < series.values.size() ? series.values[i] : 0.0);
        }
        text += '\n';
    }
    return text;
}

bool CDecodedCsvWriter::Save(const QString& path, const DecodedLog& log, QString* error)
{
    return CAtomicFile::WriteWhole(path, Format(log), error);
}
