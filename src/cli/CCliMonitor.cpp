#include "cli/CCliMonitor.h"

#include <algorithm>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "base/CSignalWatcher.h"
#include "cli/CCliArguments.h"
#include "cli/CCliDevice.h"
#include "cli/CCliOutput.h"
#include "cli/CConsolePrompt.h"
#include "cli/CliExit.h"
#include "library/CDeviceSession.h"
#include "library/CDoubleFormat.h"
#include "library/CXmlAttributes.h"
#include "link/CLimitFactor.h"
#include "logger/CLinkSpeedBoost.h"
#include "panel/CPanelChannels.h"
#include "panel/CServoCollectorNotify.h"
#include "panel/CTelemetryStream.h"

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("CCliMonitor", text);
}

// A panel format split into its number and its unit: "%.2f V" gives the
// conversion "%.2f" and the unit "V"; literal text around the number is the
// unit ("%%" in it is a percent sign).
struct SplitFormat {
    QString number;
    QString unit;
};

SplitFormat Split(const QString& format)
{
    static const QRegularExpression conversion(QStringLiteral("%[-+ #0]*[0-9]*(\\.[0-9]*)?l?[eEfFgGaA]"));
    const QRegularExpressionMatch match = conversion.match(format);
    if (!match.hasMatch())
        return {QStringLiteral("%g"), QString()};
    QString unit = format.left(match.capturedStart()) + format.mid(match.capturedEnd());
    unit.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return {match.captured(0), unit.simplified()};
}

// A header field: the tag, with the unit after an underscore ("voltage_V");
// letters, digits and underscores only, so that every CSV reader takes it.
QString HeaderField(const QString& tag, const QString& unit)
{
    QString field = unit.isEmpty() ? tag : tag + QLatin1Char('_') + unit;
    static const QRegularExpression other(QStringLiteral("[^A-Za-z0-9_%]+"));
    field.replace(other, QStringLiteral("_"));
    return field.replace(QLatin1Char('%'), QStringLiteral("pct"));
}

constexpr int kPollMs = 50;
}

CCliMonitor::CCliMonitor(const CCliArguments& arguments, CCliDevice& device)
    : m_args(arguments), m_device(device)
{
}

double CCliMonitor::WireRecordsPerSecond(int baud)
{
    return std::abs(baud) / static_cast<double>(kBytesPerRecord * kBitsPerByte);
}

QString CCliMonitor::Header(const CPanelChannels& channels) const
{
    QStringList fields{QStringLiteral("time_s")};
    for (size_t i = 0; i < channels.Count(); ++i)
        fields.append(HeaderField(channels.At(i).Tag(), Split(channels.At(i).Format()).unit));
    return fields.join(QLatin1Char(',')) + QLatin1Char('\n');
}

QString CCliMonitor::Line(double seconds, const CPanelChannels& channels) const
{
    if (m_args.Csv()) {
        // Plain numbers at the format's precision; a value that cannot be
        // computed is an empty field.
        QStringList fields{QString::number(seconds, 'f', 3)};
        for (size_t i = 0; i < channels.Count(); ++i) {
            const CPanelChannel& channel = channels.At(i);
            const std::optional<double> value = channel.Evaluate();
            const std::optional<QString> text =
                value ? CDoubleFormat::Format(Split(channel.Format()).number, *value) : std::nullopt;
            fields.append(text.value_or(QString()).trimmed());
        }
        return fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    QStringList fields{QString::number(seconds, 'f', 2)};
    for (size_t i = 0; i < channels.Count(); ++i) {
        const CPanelChannel& channel = channels.At(i);
        const QString text = channel.Text().isEmpty() ? QStringLiteral("-") : channel.Text();
        fields.append(QStringLiteral("%1 %2").arg(channel.Tag(), text));
    }
    return fields.join(QStringLiteral("  ")) + QLatin1Char('\n');
}

void CCliMonitor::Advance(RecordLines& lines, uint8_t counter)
{
    if (!lines.first)
        lines.elapsedTicks += static_cast<uint32_t>(CTelemetryStream::TickDifference(lines.counter, counter));
    lines.first = false;
    lines.counter = counter;
}

void CCliMonitor::SkipBehind(const CServoCollectorNotify& collector, RecordLines& lines, uint64_t received)
{
    constexpr uint64_t kRing = CServoCollectorNotify::kRingSize;
    const uint64_t resume = received - kRing / 2;
    // Slots older than a whole ring are written over already; the one the
    // reader thread fills next is left alone.
    const uint64_t intact = received >= kRing - 1 ? received - (kRing - 1) : 0;
    for (uint64_t k = std::max(lines.printed, intact); k < resume; ++k)
        Advance(lines, collector.Slot(static_cast<size_t>(k % kRing))[CTelemetryStream::kCounterByte]);
    CConsolePrompt::Note(tr("%1 records came faster than they could be printed and are left out")
                             .arg(resume - lines.printed));
    lines.skipped += resume - lines.printed;
    lines.printed = resume;
}

void CCliMonitor::PrintReceived(const CServoCollectorNotify& collector, CPanelChannels& channels,
                                RecordLines& lines) const
{
    // Records complete in the ring: the collector counts one only after
    // copying it.
    constexpr uint64_t kRing = CServoCollectorNotify::kRingSize;
    for (uint64_t received = collector.AnswersReceived(); lines.printed < received;
         received = collector.AnswersReceived()) {
        if (received - lines.printed > kRing / 2)
            SkipBehind(collector, lines, received);
        const uint8_t* bytes = collector.Slot(static_cast<size_t>(lines.printed % kRing));
        const QByteArray record(reinterpret_cast<const char*>(bytes), CServoCollectorNotify::kRecordSize);
        // Printing may have blocked long enough for the reader thread to come
        // round to this slot while it was copied: then it is left out too.
        if (collector.AnswersReceived() - lines.printed >= kRing)
            continue;
        Advance(lines, static_cast<uint8_t>(record[CTelemetryStream::kCounterByte]));
        ++lines.printed;
        channels.SetRecord(record);
        channels.Update();
        if (!m_args.Json())
            CCliOutput::Print(Line(lines.elapsedTicks * CTelemetryStream::kTickMs / 1000.0, channels));
    }
}

int CCliMonitor::Run()
{
    CDeviceSession& session = m_device.Session();
    const QString name = CXmlAttributes::Text(m_device.Found().element, "name", QStringLiteral("the ESC"));
    const std::vector<uint8_t> cells = CPanelChannels::CellCopy(session.Image(), session.Facts().initialDataSize);
    CPanelChannels channels(session.EscElement(), cells);
    if (channels.Count() == 0) {
        CConsolePrompt::Error(tr("the device library describes no panel values for %1").arg(name));
        return CliExit::Usage;
    }

    enum class Ended { Time, Interrupted, Silent };
    Ended ended = Ended::Time;
    // Once the ESC was said to stop answering, the run has a gap: however
    // close to the end that was, the command does not end in plain success.
    bool saidStopped = false;
    bool stoppedAtEnd = false;
    uint64_t handled = 0;
    uint64_t printed = 0;
    uint64_t received = 0;
    uint64_t missed = 0;
    double seconds = 0;
    int baud = 0;
    {
        CLinkSpeedBoost boost(session);
        baud = session.Port().LinkSpeed();
        CTelemetryStream stream(session.Port());
        if (!m_args.Json() && m_args.Csv())
            CCliOutput::Print(Header(channels));
        // The stream hands over only the newest record when several wait;
        // the lines are taken from the collector's ring, so that every
        // record received gets its line.
        RecordLines lines;
        QObject::connect(&stream, &CTelemetryStream::RecordHandled, &stream,
                         [&] { PrintReceived(stream.Collector(), channels, lines); });
        QObject::connect(&stream, &CTelemetryStream::AnswersStoppedChanged, &stream, [&saidStopped](bool stopped) {
            saidStopped = saidStopped || stopped;
            CConsolePrompt::Note(stopped ? tr("the ESC stopped answering") : tr("the ESC answers again"));
        });

        QEventLoop loop;
        QElapsedTimer clock;
        QElapsedTimer silence;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (CSignalWatcher::Requested()) {
                ended = Ended::Interrupted;
                loop.quit();
            } else if (m_args.Seconds() > 0 && clock.hasExpired(1000LL * m_args.Seconds())) {
                loop.quit();
            } else if (stream.AnswersStopped() && silence.hasExpired(CLimitFactor::Stretch(kSilenceLimitMs))) {
                ended = Ended::Silent;
                loop.quit();
            }
        });
        QObject::connect(&stream, &CTelemetryStream::RecordHandled, &loop, [&silence] { silence.restart(); });
        clock.start();
        silence.start();
        poll.start(kPollMs);
        // The command line never drives the motor: every request says 1.
        stream.SetServoValue(1);
        if (!stream.Start()) {
            CConsolePrompt::Error(tr("the port of %1 is closed").arg(name));
            return CliExit::NoDevice;
        }
        loop.exec();
        stoppedAtEnd = stream.AnswersStopped();
        stream.Stop();
        PrintReceived(stream.Collector(), channels, lines);
        printed = lines.printed - lines.skipped;
        seconds = clock.nsecsElapsed() / 1e9;
        handled = stream.RecordsHandled();
        received = stream.Collector().AnswersReceived();
        missed = stream.AnswersMissed();
        if (m_args.Json()) {
            QJsonObject values;
            for (size_t i = 0; i < channels.Count(); ++i)
                values.insert(channels.At(i).Tag(), channels.At(i).Text());
            CCliOutput::PrintJson(QJsonObject{
                {"seconds", seconds},
                {"elapsedTicks", static_cast<qint64>(stream.ElapsedTicks())},
                {"recordsReceived", static_cast<qint64>(received)},
                {"recordsHandled", static_cast<qint64>(handled)},
                {"answersMissed", static_cast<qint64>(missed)},
                {"recordsPerSecond", seconds > 0 ? received / seconds : 0.0},
                {"linkSpeed", baud},
                {"wireRecordsPerSecond", WireRecordsPerSecond(baud)},
                {"values", values},
            });
        }
    }

    const double rate = seconds > 0 ? received / seconds : 0.0;
    const double wire = WireRecordsPerSecond(baud);
    const QString summary = tr("%1 records in %2 s (%3 shown, %4 unanswered): %5 records/s; the line allows %6 "
                             "records/s at %7 baud (%8 bits per record)")
                              .arg(received)
                              .arg(seconds, 0, 'f', 1)
                              .arg(printed)
                              .arg(missed)
                              .arg(rate, 0, 'f', 1)
                              .arg(wire, 0, 'f', 1)
                              .arg(std::abs(baud))
                              .arg(kBytesPerRecord * kBitsPerByte);
    if (!CCliOutput::Quiet()) {
        std::fprintf(stderr, "%s\n", summary.toUtf8().constData());
        std::fflush(stderr);
    }
    if (ended == Ended::Interrupted)
        return CliExit::Interrupted;
    if (saidStopped) {
        CConsolePrompt::Error(stoppedAtEnd ? tr("%1 stopped answering").arg(name)
                                           : tr("%1 stopped answering for a while; the values have a gap").arg(name));
        return CliExit::Differs;
    }
    return CliExit::Ok;
}
