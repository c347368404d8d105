#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "firmware/CUpdateFile.h"

class CDeviceProtocol;
class CSerialPort;
class CUploadCollectorNotify;

// Sends a firmware image to the ESC's boot loader, one 144-byte page per
// frame ('M', 'f', page, CRC-16 high byte first), the next page after the
// boot loader's 'M', 'O', 0x9C. A page that is not acknowledged within the
// page time-out is sent again (pageResent); after kMaxResends resends of one
// page the upload gives up (failed), so a dead line never leaves the user
// waiting. Runs on the user-interface thread; the collector's notices
// arrive as events.
class CFirmwareUploader : public QObject {
    Q_OBJECT
public:
    static constexpr int kPageSize = CUpdateFile::kPageSize;
    // A 148-byte frame takes 77 ms at 19200 baud; the answer follows within
    // a few milliseconds. The frames carry no page number, so a page sent
    // again after an acknowledgement that was only late would be written
    // twice: the time-out leaves a slow adapter or a busy machine ample room.
    static constexpr int kPageTimeoutMs = 1000;
    static constexpr int kMaxResends = 10;
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

signals:
    void progress(int percent);
    void pageResent(int page);
    void finished();
    void failed(const QString& reason);

protected:
    bool event(QEvent* event) override;

private:
    void SendCurrentPage();
    void OnAcknowledged();
    void OnTimeout();
    void Stop();

    CSerialPort& m_port;
    CDeviceProtocol& m_protocol;
    std::unique_ptr<CUploadCollectorNotify> m_collector;
    std::vector<uint8_t> m_image;
    size_t m_pagesDone = 0;
    int m_resends = 0;
    int m_pageTimeoutMs = kPageTimeoutMs;
    bool m_running = false;
};
