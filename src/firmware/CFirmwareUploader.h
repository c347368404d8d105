#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

#include "firmware/CUpdateFile.h"

class CDeviceProtocol;
class CSerialPort;
class CUploadCollectorNotify;

// Sends a firmware image to the ESC's boot loader, one 144-byte page per
// frame ('M', 'f', page, CRC-16 high byte first), the next page after the
// boot loader's 'M', 'O', 0x9C. The frames carry no page number, so a page
// sent twice is written twice: a page is never sent again. An
// acknowledgement that has not come within the page time-out is reported
// (pageLate) and still waited for; when none has come within the give-up
// limit (the line is dead, or the acknowledgement arrived garbled), the
// upload fails and the ESC stays in its boot loader for a new attempt from
// the start. Runs
// on the user-interface thread; the collector's notices arrive as events.
class CFirmwareUploader : public QObject {
    Q_OBJECT
public:
    static constexpr int kPageSize = CUpdateFile::kPageSize;
    // A 148-byte frame takes 77 ms at 19200 baud and the boot loader then
    // writes the page before it answers: an acknowledgement that has not
    // come after a second is worth telling the user about.
    static constexpr int kPageTimeoutMs = 1000;
    // No boot loader takes this long for one page: the line or the ESC is
    // gone, or the acknowledgement was lost on the way.
    static constexpr int kGiveUpMs = 10000;
    // The boot loader starts the new firmware after the last page.
    static constexpr int kFinalPauseMs = 200;

    CFirmwareUploader(CSerialPort& port, CDeviceProtocol& protocol, QObject* parent = nullptr);
    ~CFirmwareUploader() override;

    // Asks the device whether its boot loader takes an upload ('u','p','d'
    // answered with 'O').
    bool QueryBootloader();

    // Starts with page 0. False when the image is empty or not a whole
    // number of pages.
    bool Start(std::vector<uint8_t> image);
    // Stops at once; no further page is sent.
    void Cancel();

    bool Running() const { return m_running; }
    size_t PageCount() const { return m_image.size() / kPageSize; }
    size_t PagesDone() const { return m_pagesDone; }
    // Pages done × 100 / page count.
    int Percent() const;

    void SetPageTimeoutMs(int ms) { m_pageTimeoutMs = ms; }
    void SetGiveUpMs(int ms) { m_giveUp.setInterval(ms); }
    int GiveUpMs() const { return m_giveUp.interval(); }

signals:
    void progress(int percent);
    // Page (counted from 0) has not been acknowledged within the page
    // time-out; the upload goes on waiting for it.
    void pageLate(int page);
    void finished();
    void failed(const QString& reason);

protected:
    bool event(QEvent* event) override;

private:
    void SendCurrentPage();
    void OnAcknowledged();
    void OnGiveUp();
    void Stop();

    CSerialPort& m_port;
    CDeviceProtocol& m_protocol;
    std::unique_ptr<CUploadCollectorNotify> m_collector;
    QTimer m_giveUp;
    std::vector<uint8_t> m_image;
    size_t m_pagesDone = 0;
    int m_pageTimeoutMs = 0;  // kPageTimeoutMs stretched by the limit factor
    bool m_running = false;
};
