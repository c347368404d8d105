#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>

#include "panel/CServoCollectorNotify.h"

class CSerialPort;

// The live telemetry stream of the measurement panel: polls the ESC without
// pause, each request carrying the servo value the ESC is to apply, and
// hands the records to the user-interface thread.
//
// The collector answers and re-requests on the reader thread; this object
// takes its notifications, skips every older one still queued (only the
// newest record is handled) and keeps the time base: ticks of 20 ms, the
// running sum of (counter - previous counter) mod 256, where the first
// record contributes 0. It also watches the answer time-out (100 ms).
//
// The owner stops the main window's refresh timer and raises the link speed
// before Start, and restores both after Stop.
class CTelemetryStream : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 20;
    static constexpr int kRecordSize = static_cast<int>(CServoCollectorNotify::kRecordSize);
    // Record bytes the program reads itself.
    static constexpr int kSampleRateByte = 3;
    static constexpr int kCounterByte = 6;
    static constexpr int kServoPulseByte = 7;
    // Unanswered requests in a row after which the answers count as stopped.
    static constexpr int kMissesUntilStopped = 5;

    explicit CTelemetryStream(CSerialPort& port, QObject* parent = nullptr);
    // Stops the stream (see Stop).
    ~CTelemetryStream() override;
    CTelemetryStream(const CTelemetryStream&) = delete;
    CTelemetryStream& operator=(const CTelemetryStream&) = delete;

    // Makes the collector the port's current one and sends the first
    // request, which carries servo value 1. False when the port is closed
    // or the stream runs already.
    bool Start();
    // Ends the stream safely: the last request sent carries servo value 1,
    // and its answer (or its time-out) is awaited before the port's default
    // collector is made current again, so the motor has been told to stop.
    // Blocks for at most a few answer time-outs. Queued notifications are
    // dropped; no signal is emitted for them.
    void Stop();
    bool IsRunning() const { return m_running; }

    // The servo value of the next request, 1..255 (0 is sent as 1).
    void SetServoValue(uint8_t value) { m_collector.SetRequestByte(value); }
    uint8_t ServoValue() const { return m_collector.RequestByte(); }

    // Time base of the handled records.
    uint8_t PreviousCounter() const { return m_previousCounter; }
    uint32_t ElapsedTicks() const { return m_elapsed; }

    // Whether the ESC has stopped answering (kMissesUntilStopped time-outs
    // in a row); cleared by the next record.
    bool AnswersStopped() const { return m_stopped; }
    uint64_t RecordsHandled() const { return m_handled; }
    uint64_t AnswersMissed() const { return m_missed; }

    CServoCollectorNotify& Collector() { return m_collector; }
    const CServoCollectorNotify& Collector() const { return m_collector; }

    // The tick difference from the previous counter: (current - previous) mod 256.
    static int TickDifference(uint8_t previous, uint8_t current) { return static_cast<uint8_t>(current - previous); }

signals:
    // A record was handled: its 64 bytes, the ticks since the last handled
    // record (0 for the first) and the elapsed ticks since the stream began.
    void RecordHandled(const QByteArray& record, int tickDifference, quint32 elapsedTicks);
    // A request went unanswered; the text is the receive window as
    // "%d bytes in pool:" and " 0x%02x" per byte.
    void AnswerMissing(const QString& receiveWindow);
    // The answers stopped arriving / came back after they had stopped.
    void AnswersStoppedChanged(bool stopped);

protected:
    bool event(QEvent* event) override;

private:
    void OnTimeoutCheck();
    void ScheduleTimeoutCheck(CServoCollectorNotify::Clock::duration left);
    void HandleRecord(const uint8_t* record);
    void HandleMiss();
    void SetStopped(bool stopped);

    CSerialPort& m_port;
    CServoCollectorNotify m_collector;
    QTimer m_timeoutCheck;
    bool m_running = false;
    uint32_t m_handledSequence = 0;
    bool m_first = true;
    uint8_t m_previousCounter = 0;
    uint32_t m_elapsed = 0;
    int m_missesInARow = 0;
    bool m_stopped = false;
    uint64_t m_handled = 0;
    uint64_t m_missed = 0;
};
