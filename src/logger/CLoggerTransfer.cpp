#include "logger/CLoggerTransfer.h"

#include "base/CTorvMessage.h"
#include "base/IPrompt.h"
#include "link/CLimitFactor.h"
#include "link/CSerialPort.h"
#include "link/CUploadBytesCollector.h"
#include "link/CWindowBytesCollector.h"
#include "logger/CEraseSequence.h"
#include "logger/CLogDownload.h"
#include "logger/CLogImageWriter.h"
#include "logger/CLoggerPageCollector.h"
#include "logger/LoggerLog.h"
#include "logger/LoggerPage.h"

#include <algorithm>
#include <QEventLoop>
#include <QTimer>

namespace {
constexpr int kEndPauseMs = 100;
}

CLoggerTransfer::CLoggerTransfer(CSerialPort& port, IPrompt* prompt, QObject* parent)
    : QObject(parent),
      m_port(port),
      m_prompt(prompt),
      m_pageCollector(std::make_unique<CLoggerPageCollector>(port, LoggerPage::kSize, this)),
      m_uploadCollector(std::make_unique<CUploadBytesCollector>(port, 272, this)),
      m_windowCollector(std::make_unique<CWindowBytesCollector>(8, this))
{
    TorvMessages::RegisterAll();
    m_silenceTimer.setSingleShot(true);
    m_silenceTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_silenceTimer, &QTimer::timeout, this, &CLoggerTransfer::OnSilenceCheck);
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setInterval(kStallMs);
    connect(&m_stallTimer, &QTimer::timeout, this, &CLoggerTransfer::OnStallTimer);
}

CLoggerTransfer::~CLoggerTransfer()
{
    Stop();
}

CLoggerTransfer::Answer CLoggerTransfer::AnswerOf(const QEvent& event) const
{
    // The collectors hand a copy of the completed window: the echoed
    // request (its page index in bytes 2 and 3), then for a page the
    // answer's 'M' and the page data from byte 6. For an erase step wParam
    // carries the echoed command letter and page.
    const auto& message = static_cast<const CTorvMessage&>(event);
    Answer answer;
    answer.arrived = message.WParam() != 0;
    if (!answer.arrived)
        return answer;
    if (event.type() == TorvMessages::EchoIn()) {
        answer.page = static_cast<int>(message.WParam() & 0xFFFFu);
        if (((message.WParam() >> 16) & 0xFFu) != 'E')
            answer.page = -1;
        return answer;
    }
    const std::vector<uint8_t>& copy = message.Payload();
    constexpr size_t kDataOffset = 6;
    if (copy.size() >= kDataOffset) {
        answer.page = copy[2] | (copy[3] << 8);
        answer.data = copy.data() + kDataOffset;
        answer.length = std::min(copy.size() - kDataOffset, static_cast<size_t>(LoggerPage::kSize));
    }
    return answer;
}

bool CLoggerTransfer::event(QEvent* event)
{
    if (event->type() == TorvMessages::ByteIn()) {
        const Answer answer = AnswerOf(*event);
        if (m_mode == Mode::Download)
            OnDownloadAnswer(answer);
        else if (m_mode == Mode::ImageWrite)
            OnImageWriteAnswer(answer);
        return true;
    }
    if (event->type() == TorvMessages::EchoIn()) {
        if (m_mode == Mode::Erase)
            OnEraseAnswer(AnswerOf(*event));
        return true;
    }
    return QObject::event(event);
}

bool CLoggerTransfer::StartDownload(CLogDownload& download, int pageTimeoutMs)
{
    Stop();
    const std::optional<uint16_t> first = download.Start();
    if (!first)
        return false;
    m_download = &download;
    m_limitMs = pageTimeoutMs;
    m_mode = Mode::Download;
    m_completed = false;
    m_clock.start();
    m_sincePage.start();
    m_sinceRelink.invalidate();
    m_stallTimer.start();
    m_port.SetCollector(m_pageCollector.get());
    m_asks = 0;
    AskPage(*first);
    return true;
}

bool CLoggerTransfer::Stalled() const
{
    return m_mode == Mode::Download && m_sincePage.isValid() && m_sincePage.elapsed() >= kStallMs;
}

void CLoggerTransfer::OnStallTimer()
{
    // A timer may fire a little early: the stall begins by the clock.
    const qint64 left = kStallMs - m_sincePage.elapsed();
    if (left > 0) {
        m_stallTimer.start(static_cast<int>(left));
        return;
    }
    emit Progress();
}

void CLoggerTransfer::AskPage(uint16_t page)
{
    ++m_asks;
    m_line = Line::Asking;
    m_pageCollector->RequestPage(page, m_limitMs);
}

void CLoggerTransfer::WaitForSilence(Line line)
{
    m_line = line;
    m_silenceFromMs = CLoggerPageCollector::NowMs();
    m_silenceTimer.start(m_limitMs);
}

void CLoggerTransfer::OnSilenceCheck()
{
    if (m_mode != Mode::Download || m_line == Line::Asking)
        return;
    // Silence is counted from the later of the time-out (or the page) and
    // the last byte the line carried.
    const int64_t from = std::max(m_silenceFromMs, m_pageCollector->LastByteMs());
    const int64_t silent = CLoggerPageCollector::NowMs() - from;
    if (silent < m_limitMs) {
        m_silenceTimer.start(static_cast<int>(m_limitMs - silent));
        return;
    }
    if (m_line == Line::Draining) {
        GoOn();
        return;
    }
    if (Stalled() && m_relink && (!m_sinceRelink.isValid() || m_sinceRelink.hasExpired(kStallMs))) {
        m_sinceRelink.start();
        m_relink();
        if (m_mode != Mode::Download)
            return;   // stopped meanwhile
        m_port.SetCollector(m_pageCollector.get());
    }
    AskPage(m_download->CurrentPage());
}

void CLoggerTransfer::OnDownloadAnswer(const Answer& answer)
{
    CLogDownload& download = *m_download;
    if (!answer.arrived) {
        if (m_line != Line::Asking)
            return;
        qCDebug(lcLogger).noquote() << QString::asprintf("%d page download fault, %d bytes received\r\n",
                                                         download.CurrentPage(),
                                                         static_cast<int>(m_pageCollector->Length()))
                                    << m_pageCollector->DumpInline();
        if (m_prompt != nullptr)
            m_prompt->Beep();
        download.OnTimeout();
        // The ESC may still answer: the collector keeps listening, and the
        // page is asked again only once the line has been silent.
        WaitForSilence(Line::Quieting);
        emit Progress();
        return;
    }
    // While draining, every answer belongs to a request already answered.
    // An answer behind the echo of another page's request is not stored
    // either.
    if (m_line == Line::Draining || answer.page != download.CurrentPage())
        return;
    m_silenceTimer.stop();
    m_next = download.OnPage(answer.data, answer.length);
    ++m_steps;
    m_sincePage.start();
    m_stallTimer.start();
    const bool drain = m_asks > 1;
    if (drain) {
        // The other requests for this page may still be answered.
        m_pageCollector->Reset();
        WaitForSilence(Line::Draining);
    } else if (m_next) {
        GoOn();
    }
    emit Progress();
    if (!drain && !m_next && m_mode == Mode::Download)
        GoOn();
}

void CLoggerTransfer::GoOn()
{
    m_asks = 0;
    if (m_next)
        AskPage(*m_next);
    else
        Finish(true);
}

bool CLoggerTransfer::StartImageWrite(CLogImageWriter& writer, int replyLimitMs)
{
    Stop();
    if (!writer.Start())
        return false;
    m_writer = &writer;
    m_limitMs = CLimitFactor::Stretch(replyLimitMs);
    m_mode = Mode::ImageWrite;
    m_completed = false;
    m_clock.start();
    m_port.SetCollector(m_uploadCollector.get());
    m_uploadCollector->SendPage(writer.CurrentPage(), writer.CurrentData().data(), m_limitMs);
    return true;
}

void CLoggerTransfer::OnImageWriteAnswer(const Answer& answer)
{
    CLogImageWriter& writer = *m_writer;
    if (writer.Done())
        return;
    if (!answer.arrived) {
        qCDebug(lcLogger).noquote() << QString::asprintf("%d page upload fault, %d bytes received\r\n",
                                                         writer.CurrentPage(),
                                                         static_cast<int>(m_uploadCollector->Length()));
        if (m_prompt != nullptr)
            m_prompt->Beep();
        writer.OnTimeout();
        m_uploadCollector->SendPage(writer.CurrentPage(), writer.CurrentData().data(), m_limitMs);
        emit Progress();
        return;
    }
    if (answer.page != writer.CurrentPage())
        return;
    ++m_steps;
    if (writer.OnAck()) {
        m_uploadCollector->SendPage(writer.CurrentPage(), writer.CurrentData().data(), m_limitMs);
        emit Progress();
        return;
    }
    emit Progress();
    // The last page is written: give the ESC a moment before anything else
    // is sent.
    m_port.ResetCollector();
    QTimer::singleShot(kEndPauseMs, this, [this] {
        if (m_mode == Mode::ImageWrite)
            Finish(true);
    });
}

bool CLoggerTransfer::StartErase(CEraseSequence& erase)
{
    Stop();
    m_erase = &erase;
    m_mode = Mode::Erase;
    m_completed = false;
    m_clock.start();
    m_port.SetCollector(m_windowCollector.get());
    SendErase(erase.Start());
    return true;
}

void CLoggerTransfer::SendErase(uint16_t page)
{
    m_erasePage = page;
    m_windowCollector->Reset();
    m_port.SendFrame('E', static_cast<uint8_t>(page & 0xFFu), static_cast<uint8_t>(page >> 8));
}

void CLoggerTransfer::OnEraseAnswer(const Answer& answer)
{
    if (answer.page != m_erasePage)
        return;
    const std::optional<uint16_t> next = m_erase->OnEcho();
    ++m_steps;
    if (next)
        SendErase(*next);
    emit Progress();
    if (!next)
        Finish(true);
}

void CLoggerTransfer::Finish(bool completed)
{
    m_silenceTimer.stop();
    m_stallTimer.stop();
    m_port.ResetCollector();
    m_pageCollector->Reset();
    m_uploadCollector->Reset();
    m_mode = Mode::None;
    m_completed = completed;
    emit Finished(completed);
}

void CLoggerTransfer::Stop()
{
    if (m_mode == Mode::Download && m_download != nullptr)
        m_download->Stop();
    m_silenceTimer.stop();
    m_stallTimer.stop();
    m_port.ResetCollector();
    m_pageCollector->Reset();
    m_uploadCollector->Reset();
    m_windowCollector->Reset();
    m_mode = Mode::None;
}

bool CLoggerTransfer::Wait(const std::function<bool()>& cancelled, int idleLimitMs)
{
    if (!Running())
        return m_completed;
    QEventLoop loop;
    bool done = false;
    const QMetaObject::Connection finished = connect(this, &CLoggerTransfer::Finished, &loop, [&](bool) {
        done = true;
        loop.quit();
    });
    uint32_t steps = m_steps;
    QElapsedTimer sinceStep;
    sinceStep.start();
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (m_steps != steps) {
            steps = m_steps;
            sinceStep.restart();
        }
        if ((cancelled && cancelled()) || sinceStep.hasExpired(idleLimitMs)) {
            Stop();
            loop.quit();
        }
    });
    poll.start(50);
    loop.exec();
    disconnect(finished);
    return done && m_completed;
}
