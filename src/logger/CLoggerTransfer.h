#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

class CEraseSequence;
class CLogDownload;
class CLogImageWriter;
class CPageBytesCollectorNotify;
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
class CLoggerTransfer : public QObject {
    Q_OBJECT
public:
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

    // Processes events until the transfer has finished, or until
    // cancelled() (asked every 50 ms) returns true, which stops it. True
    // when it completed.
    bool Wait(const std::function<bool()>& cancelled = {});

signals:
    // After every step (a page in, a fault, an erase step).
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

    void OnDownloadAnswer(const Answer& answer);
    void OnImageWriteAnswer(const Answer& answer);
    void OnEraseAnswer(const Answer& answer);
    void Finish(bool completed);
    void SendErase(uint16_t page);

    CSerialPort& m_port;
    IPrompt* m_prompt;
    std::unique_ptr<CPageBytesCollectorNotify> m_pageCollector;
    std::unique_ptr<CUploadBytesCollector> m_uploadCollector;
    std::unique_ptr<CWindowBytesCollector> m_windowCollector;
    Mode m_mode = Mode::None;
    CLogDownload* m_download = nullptr;
    CLogImageWriter* m_writer = nullptr;
    CEraseSequence* m_erase = nullptr;
    int m_limitMs = 200;
    uint16_t m_erasePage = 0;
    bool m_completed = false;
    QElapsedTimer m_clock;
};
