#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class CEraseSequence;
class CLogDownload;
class CLogImageWriter;
class CLoggerPageCollector;
class CSerialPort;
class CUploadBytesCollector;
class CWindowBytesCollector;
class IPrompt;

// Connects one of the logger state machines to the port: makes its
// collector current, sends what the state machine asks for, and feeds it
// the collector's notifications (TORV_BYTEIN for pages and page writes,
// TORV_ECHOIN for erase steps). One request is outstanding at a time. The
// dialogs and the command-line program drive the transfers through it
// alike; the state machines stay owned by the caller.
//
// A logger page carries no page number, so the download takes an answer
// only while every request that can still be answered is for the page it
// waits for: after a time-out it lets the line fall silent for a page's
// answer time (still taking a late answer to that page) before asking
// again, and after a page that was asked more than once it lets the line
// fall silent again, dropping the answers to the other requests, before it
// asks for the next page.
class CLoggerTransfer : public QObject {
    Q_OBJECT
public:
    // Without a page for this long the download counts as stalled.
    static constexpr int kStallMs = 2000;
    // Wait gives up after this long without a step.
    static constexpr int kWaitIdleLimitMs = 30000;

    explicit CLoggerTransfer(CSerialPort& port, IPrompt* prompt = nullptr, QObject* parent = nullptr);
    ~CLoggerTransfer() override;

    // Each returns false when there is nothing to do (then Finished is not
    // emitted).
    bool StartDownload(CLogDownload& download, int pageTimeoutMs);
    bool StartImageWrite(CLogImageWriter& writer, int replyLimitMs);
    bool StartErase(CEraseSequence& erase);

    // Stops the collector and makes the port's default collector current.
    // A running download keeps its complete logs.
    void Stop();
    bool Running() const { return m_mode != Mode::None; }
    qint64 ElapsedMs() const { return m_clock.isValid() ? m_clock.elapsed() : 0; }
    // A running download has had no page for kStallMs or longer (Progress
    // is emitted when that begins).
    bool Stalled() const;

    // Called before a page is asked again while the download is stalled, at
    // most once every kStallMs: brings the link back to the speed the ESC
    // listens at (an ESC switched off and on again is back at its start
    // speed). Its exchanges may use the port as they need.
    void SetRelink(std::function<void()> relink) { m_relink = std::move(relink); }

    // Processes events until the transfer has finished, until cancelled()
    // (asked every 50 ms) returns true, or until idleLimitMs pass without a
    // step (a page stored, a page written, an erase step); the last two stop
    // it. True when it completed.
    bool Wait(const std::function<bool()>& cancelled = {}, int idleLimitMs = kWaitIdleLimitMs);

signals:
    // After every step (a page in, a fault, an erase step), and when a
    // download stalls.
    void Progress();
    // The transfer has ended by itself: completed, or (false) refused.
    void Finished(bool completed);

protected:
    bool event(QEvent* event) override;

private:
    enum class Mode { None, Download, ImageWrite, Erase };

    // What a collector's notification carries. The one place that reads
    // the notification's parameters.
    struct Answer {
        bool arrived = false;        // false: the time-out expired
        const uint8_t* data = nullptr;
        std::size_t length = 0;
        int page = -1;               // the page index the answer is for, -1 when unknown
    };
    Answer AnswerOf(const QEvent& event) const;

    // Where the download's line stands.
    enum class Line {
        Asking,    // a page request is out, its time-out running
        Quieting,  // after a time-out: waiting for silence before asking again
        Draining,  // after a page asked more than once: dropping answers until silence
    };

    void OnDownloadAnswer(const Answer& answer);
    void AskPage(uint16_t page);
    void WaitForSilence(Line line);
    void OnSilenceCheck();
    void OnStallTimer();
    // After a page (and any draining): asks for the next one, or finishes.
    void GoOn();
    void OnImageWriteAnswer(const Answer& answer);
    void OnEraseAnswer(const Answer& answer);
    void Finish(bool completed);
    void SendErase(uint16_t page);

    CSerialPort& m_port;
    IPrompt* m_prompt;
    std::unique_ptr<CLoggerPageCollector> m_pageCollector;
    std::unique_ptr<CUploadBytesCollector> m_uploadCollector;
    std::unique_ptr<CWindowBytesCollector> m_windowCollector;
    Mode m_mode = Mode::None;
    CLogDownload* m_download = nullptr;
    CLogImageWriter* m_writer = nullptr;
    CEraseSequence* m_erase = nullptr;
    int m_limitMs = 200;
    uint16_t m_erasePage = 0;
    bool m_completed = false;
    uint32_t m_steps = 0;
    QElapsedTimer m_clock;

    Line m_line = Line::Asking;
    int m_asks = 0;                        // requests sent for the page awaited
    std::optional<uint16_t> m_next;        // after draining: the page to ask for, none to finish
    int64_t m_silenceFromMs = 0;           // silence is counted from here or the last byte
    QTimer m_silenceTimer;
    QTimer m_stallTimer;
    QElapsedTimer m_sincePage;
    QElapsedTimer m_sinceRelink;
    std::function<void()> m_relink;
};
