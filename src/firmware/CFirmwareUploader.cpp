#include "firmware/CFirmwareUploader.h"

#include <QCoreApplication>

#include "base/CTorvMessage.h"
#include "link/CDeviceProtocol.h"
#include "link/CLimitFactor.h"
#include "link/CSerialPort.h"
#include "link/CUploadCollectorNotify.h"

namespace {
constexpr uint8_t kBootloaderYes = 'O';
constexpr int kQueryLimitMs = 200;
}

CFirmwareUploader::CFirmwareUploader(CSerialPort& port, CDeviceProtocol& protocol, QObject* parent)
    : QObject(parent),
      m_port(port),
      m_protocol(protocol),
      m_collector(std::make_unique<CUploadCollectorNotify>(port, kPageSize, this)),
      m_pageTimeoutMs(CLimitFactor::Stretch(kPageTimeoutMs))
{
    m_giveUp.setSingleShot(true);
    m_giveUp.setInterval(CLimitFactor::Stretch(kGiveUpMs));
    connect(&m_giveUp, &QTimer::timeout, this, &CFirmwareUploader::OnGiveUp);
}

CFirmwareUploader::~CFirmwareUploader()
{
    Stop();
}

bool CFirmwareUploader::QueryBootloader()
{
    uint8_t answer = 0;
    return m_protocol.SendCommand('u', 'p', 'd', answer, kQueryLimitMs, false) && answer == kBootloaderYes;
}

bool CFirmwareUploader::Start(std::vector<uint8_t> image)
{
    if (m_running || image.empty() || image.size() % kPageSize != 0)
        return false;
    m_image = std::move(image);
    m_pagesDone = 0;
    m_running = true;
    m_port.SetCollector(m_collector.get());
    SendCurrentPage();
    return true;
}

void CFirmwareUploader::Cancel()
{
    Stop();
}

void CFirmwareUploader::Stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_giveUp.stop();
    m_collector->Reset();
    m_port.ResetCollector();
    // Notices already queued belong to the stopped upload.
    QCoreApplication::removePostedEvents(this, TorvMessages::ByteIn());
}

int CFirmwareUploader::Percent() const
{
    const size_t pages = PageCount();
    return pages == 0 ? 0 : static_cast<int>(m_pagesDone * 100 / pages);
}

void CFirmwareUploader::SendCurrentPage()
{
    m_giveUp.start();
    m_collector->BlockSend(m_image.data() + m_pagesDone * kPageSize, m_pageTimeoutMs);
}

bool CFirmwareUploader::event(QEvent* event)
{
    if (event->type() != TorvMessages::ByteIn())
        return QObject::event(event);
    if (m_running) {
        if (static_cast<CTorvMessage*>(event)->WParam() != 0)
            OnAcknowledged();
        else
            emit pageLate(static_cast<int>(m_pagesDone));
    }
    return true;
}

void CFirmwareUploader::OnAcknowledged()
{
    m_giveUp.stop();
    // A time-out notice still queued belongs to the page just acknowledged.
    QCoreApplication::removePostedEvents(this, TorvMessages::ByteIn());
    ++m_pagesDone;
    emit progress(Percent());
    if (m_pagesDone < PageCount()) {
        SendCurrentPage();
        return;
    }
    // The boot loader starts the new firmware; give it its time before the
    // link is used again.
    m_protocol.Pause(kFinalPauseMs);
    Stop();
    emit finished();
}

void CFirmwareUploader::OnGiveUp()
{
    // An acknowledgement already queued counts: it came within the limit.
    const size_t page = m_pagesDone;
    QCoreApplication::sendPostedEvents(this, TorvMessages::ByteIn());
    if (!m_running || m_pagesDone != page)
        return;
    Stop();
    emit failed(tr("The ESC did not acknowledge page %1 of %2 within %3 s; the page was not sent again, since the "
                   "ESC may have written it already.")
                    .arg(page + 1)
                    .arg(PageCount())
                    .arg(m_giveUp.interval() / 1000.0));
}
