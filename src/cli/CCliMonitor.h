#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

class CCliArguments;
class CCliDevice;
class CPanelChannels;
class CServoCollectorNotify;

// torv-cli monitor: the measurement panel's telemetry stream on the command
// line. It streams at the fastest speed both sides support with servo value 1
// on every request (the command line never drives the motor) and prints one
// line per record received: the stream's time and every panel value in its
// format. On the end of the given time or on Ctrl+C the stream ends with a
// last request at servo value 1 and the link goes back to its speed.
class CCliMonitor {
public:
    // The longest time an ESC may stay silent before the command gives up
    // (stretched by TORV_LIMIT_FACTOR, as the telemetry time-out is).
    static constexpr int kSilenceLimitMs = 3000;
    // Bytes on the line per record: the 5-byte request (its echo comes back
    // while it goes out) and the 67-byte answer ('M', 64 bytes, CRC).
    static constexpr int kBytesPerRecord = 72;
    static constexpr int kBitsPerByte = 10;

    CCliMonitor(const CCliArguments& arguments, CCliDevice& device);

    int Run();

    // The records per second the line allows at this speed.
    static double WireRecordsPerSecond(int baud);

private:
    // Where the lines stand in the collector's ring of records.
    struct RecordLines {
        uint64_t printed = 0;        // records passed, printed or skipped (record k is in slot k mod the ring size)
        uint64_t skipped = 0;        // of these, the ones left out because printing fell behind
        bool first = true;
        uint8_t counter = 0;         // the tick counter of the last record passed
        uint32_t elapsedTicks = 0;   // ticks since the first record
    };
    // Moves the clock on to a record's tick counter.
    static void Advance(RecordLines& lines, uint8_t counter);
    // Leaves out the records so far behind that the reader thread may be
    // writing their slots again; the clock still runs through those whose
    // slots hold them.
    static void SkipBehind(const CServoCollectorNotify& collector, RecordLines& lines, uint64_t received);
    // Prints a line for each record received since the last call, in order.
    void PrintReceived(const CServoCollectorNotify& collector, CPanelChannels& channels, RecordLines& lines) const;
    QString Line(double seconds, const CPanelChannels& channels) const;
    QString Header(const CPanelChannels& channels) const;

    const CCliArguments& m_args;
    CCliDevice& m_device;
};
