// The link's byte collectors: arbitrary chunk sequences handed to AddBytes
// as the serial reader thread hands them, with resets and new requests in
// between. No port is open (requests write nothing) and no wait is longer
// than 0 ms; time-outs are armed but never expire while an input runs.
//
// Input: a selector byte (which collector), a size byte (page or block
// size, window capacity), then records: a length byte L and L bytes to
// deliver; L = 0xFF resets the collector, L = 0xFE starts a new request.
//
// A selector with bit 7 set plays a conversation instead: the short-answer
// collector (bits 0..1 = 0), the range-read page collector (1) or the
// logger page collector (2) takes one request after the other, each with
// its echo and an answer that comes on time, late (after a later request's
// echo, or just before it), never, or spoilt; the bytes reach the collector
// in chunks of a size the input gives. Records of two bytes: a fate byte
// (bits 0..1 on time / late / lost / spoilt; bit 2 late answers arrive
// before the echo rather than after it; bits 3..7 the chunk size) and the
// answer's value. Checked, besides the window's own rules: after a request,
// its echo and its intact answer are taken exactly once and exactly as sent,
// however they are cut into chunks and whatever late answers came before;
// an echo with a spoilt answer is never taken.

#include "FuzzInput.h"

#include "base/CTorvMessage.h"
#include "link/CBytesCollector.h"
#include "link/CCrc16.h"
#include "link/CFakeBytesCollector.h"
#include "link/CPageBytesCollector.h"
#include "link/CPageBytesCollectorNotify.h"
#include "link/CPageBytesCollectorSynchro.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"
#include "link/CUploadBytesCollector.h"
#include "link/CUploadCollectorNotify.h"
#include "link/CWindowBytesCollector.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr uint8_t kReset = 0xFF;
constexpr uint8_t kRequest = 0xFE;
constexpr int kLongLimitMs = 60000;   // armed, never reached

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "collector: %s\n", what);
    std::abort();
}

// The notification target; posted notices are delivered after each record.
class Sink : public QObject {
public:
    size_t received = 0;
    // The bytes of each completed answer it was told of.
    std::vector<std::vector<uint8_t>> answers;

protected:
    void customEvent(QEvent* event) override
    {
        ++received;
        const auto* message = static_cast<const CTorvMessage*>(event);
        if (event->type() == TorvMessages::ByteIn() && message->WParam() == 1)
            answers.push_back(message->Payload());
    }
};

struct Fixture {
    std::unique_ptr<CBytesCollector> collector;
    // The synchronous collectors' completion test, for checking the event.
    std::function<bool()> signalled;
    std::function<void()> request;
};

Fixture Make(uint8_t selector, uint8_t sizeByte, CSerialPort& port, Sink& sink)
{
    Fixture f;
    const size_t size = sizeByte;
    switch (selector % 9) {
    case 0: {
        auto c = std::make_unique<CSynchroBytesCollector>(port, 8 + size % 8);
        CSynchroBytesCollector* p = c.get();
        f.signalled = [p] { return p->Wait(0); };
        f.request = [p] {
            uint8_t value = 0;
            p->GetResponse('r', 1, 2, value, 0);
        };
        f.collector = std::move(c);
        break;
    }
    case 1:
        f.collector = std::make_unique<CWindowBytesCollector>(size % 16, &sink);
        break;
    case 2:
        f.collector = std::make_unique<CPageBytesCollector>(size);
        break;
    case 3: {
        auto c = std::make_unique<CPageBytesCollectorSynchro>(port, size);
        CPageBytesCollectorSynchro* p = c.get();
        f.signalled = [p] { return p->Wait(0); };
        f.request = [p] {
            std::vector<uint8_t> out(p->PageSize());
            p->RangeRead(0, static_cast<uint8_t>(p->PageSize() - 1), out.data(), 0);
        };
        f.collector = std::move(c);
        break;
    }
    case 4: {
        auto c = std::make_unique<CPageBytesCollectorNotify>(port, size, &sink);
        CPageBytesCollectorNotify* p = c.get();
        f.request = [p] { p->RequestPage(0x1234, kLongLimitMs); };
        f.collector = std::move(c);
        break;
    }
    case 5: {
        auto c = std::make_unique<CUploadBytesCollector>(port, 264 + size % 16, &sink);
        CUploadBytesCollector* p = c.get();
        f.request = [p] {
            const std::vector<uint8_t> page(CUploadBytesCollector::kPageBytes, 0x5A);
            p->SendPage(7, page.data(), kLongLimitMs);
        };
        f.collector = std::move(c);
        break;
    }
    case 6: {
        auto c = std::make_unique<CUploadCollectorNotify>(port, size, &sink);
        CUploadCollectorNotify* p = c.get();
        f.request = [p] {
            const std::vector<uint8_t> block(p->BlockSize(), 0xA5);
            p->BlockSend(block.data(), kLongLimitMs);
        };
        f.collector = std::move(c);
        break;
    }
    case 7:
        f.collector = std::make_unique<CFakeBytesCollector>();
        break;
    default:
        // A notifying collector whose target has gone.
        f.collector = std::make_unique<CWindowBytesCollector>(8, nullptr);
        break;
    }
    return f;
}

constexpr uint8_t kConversation = 0x80;
constexpr size_t kMaxRequests = 64;

enum class Fate { OnTime, Late, Lost, Spoilt };

// One collector taking one request after the other over a line where
// answers may come late, never, or spoilt.
class Conversation {
public:
    Conversation(uint8_t selector, uint8_t sizeByte, CSerialPort& port, Sink& sink)
        : m_sink(sink)
    {
        const size_t pageSize = sizeByte == 0 ? 264 : 1 + sizeByte % 64;
        const int kind = selector & 3;
        if (kind == 1)
            m_page = std::make_unique<CPageBytesCollectorSynchro>(port, pageSize);
        else if (kind == 2)
            m_notify = std::make_unique<CPageBytesCollectorNotify>(port, pageSize, &sink);
        else
            m_short = std::make_unique<CSynchroBytesCollector>(port, 8);
    }

    CBytesCollector& Collector() const
    {
        return m_page ? static_cast<CBytesCollector&>(*m_page)
                      : m_notify ? static_cast<CBytesCollector&>(*m_notify) : static_cast<CBytesCollector&>(*m_short);
    }

    void Request(uint8_t fateByte, uint8_t value)
    {
        const auto fate = static_cast<Fate>(fateByte & 3);
        const bool lateFirst = (fateByte & 4) != 0;
        const size_t chunk = 1 + static_cast<size_t>(fateByte >> 3) % Collector().Capacity();
        ++m_requests;

        // What the request sends, as the collector's owner does it.
        std::vector<uint8_t> echo;
        if (m_notify) {
            m_notify->RequestPage(static_cast<uint16_t>(m_requests), kLongLimitMs);
            echo = Echo('l', static_cast<uint8_t>(m_requests), 0);
        } else if (m_page) {
            m_page->Reset();
            echo = Echo('R', 0, static_cast<uint8_t>(m_page->PageSize() - 1));
        } else {
            m_short->Reset();
            static const uint8_t kLetters[] = {'r', 'w', 's', 'S'};
            echo = Echo(kLetters[value % 4], 'e', value);
        }
        m_sink.answers.clear();

        const std::vector<uint8_t> answer = Answer(value, fate == Fate::Spoilt);
        std::vector<uint8_t> line;
        const bool lateBytes = !m_late.empty();
        if (lateFirst)
            TakeLate(line);
        line.insert(line.end(), echo.begin(), echo.end());
        if (!lateFirst)
            TakeLate(line);
        if (fate == Fate::OnTime || fate == Fate::Spoilt)
            line.insert(line.end(), answer.begin(), answer.end());
        else if (fate == Fate::Late)
            m_late.push_back(answer);
        Deliver(line, chunk);

        // Only a clean request has one answer to expect: its echo right
        // before its answer, and no late answer in this request's bytes
        // (after its echo a late answer would be taken for it, which only
        // the protocol above the collector can prevent; before it, one late
        // page could end in a chance alignment that passes the CRC).
        const bool clean = !lateBytes || (lateFirst && m_short);
        if (fate == Fate::OnTime && clean)
            CheckTaken(echo, answer);
        if (fate == Fate::Spoilt && !lateBytes && Taken())
            Fail("a spoilt answer was taken");
    }

private:
    static std::vector<uint8_t> Echo(uint8_t command, uint8_t a1, uint8_t a2)
    {
        const std::array<uint8_t, 5> frame = CSerialPort::CommandFrame(command, a1, a2);
        return {frame.begin(), frame.end()};
    }

    std::vector<uint8_t> Answer(uint8_t value, bool spoilt) const
    {
        std::vector<uint8_t> answer{'M'};
        if (m_short) {
            answer.push_back(value);
            answer.push_back(static_cast<uint8_t>('M' + value));
        } else {
            const size_t size = m_page ? m_page->PageSize() : m_notify->PageSize();
            for (size_t i = 0; i < size; ++i)
                answer.push_back(static_cast<uint8_t>(value + i * 31));
            const uint16_t crc = CCrc16::Compute(answer.data(), answer.size());
            answer.push_back(static_cast<uint8_t>(crc & 0xFF));
            answer.push_back(static_cast<uint8_t>(crc >> 8));
        }
        if (spoilt)
            answer.back() ^= 0x5A;
        return answer;
    }

    void TakeLate(std::vector<uint8_t>& line)
    {
        for (const std::vector<uint8_t>& answer : m_late)
            line.insert(line.end(), answer.begin(), answer.end());
        m_late.clear();
    }

    void Deliver(const std::vector<uint8_t>& line, size_t chunk)
    {
        CBytesCollector& c = Collector();
        for (size_t at = 0; at < line.size(); at += chunk) {
            const size_t count = std::min(chunk, line.size() - at);
            c.AddBytes(line.data() + at, count);
            if (c.Length() > c.Capacity() || std::memcmp(c.Window() + c.Length() - count, line.data() + at, count) != 0)
                Fail("the window does not end with the newest chunk");
        }
        QCoreApplication::sendPostedEvents(&m_sink);
    }

    bool Taken() const
    {
        if (m_short)
            return m_short->Wait(0);
        if (m_page)
            return m_page->Wait(0);
        return !m_sink.answers.empty();
    }

    void CheckTaken(const std::vector<uint8_t>& echo, const std::vector<uint8_t>& answer) const
    {
        if (!Taken())
            Fail("an intact answer right after its echo was not taken");
        const CBytesCollector& c = Collector();
        if (m_notify) {
            // The message carries the echo, then 'M' and the page's data.
            std::vector<uint8_t> expected = echo;
            expected.insert(expected.end(), answer.begin(), answer.end() - 2);
            if (m_sink.answers.size() != 1 || m_sink.answers.front() != expected)
                Fail("the page's message does not carry exactly its echo and data");
            return;
        }
        std::vector<uint8_t> expected = echo;
        expected.insert(expected.end(), answer.begin(), answer.end());
        if (c.Length() != expected.size() || std::memcmp(c.Window(), expected.data(), expected.size()) != 0)
            Fail("the answer taken is not the one sent");
    }

    Sink& m_sink;
    std::unique_ptr<CSynchroBytesCollector> m_short;
    std::unique_ptr<CPageBytesCollectorSynchro> m_page;
    std::unique_ptr<CPageBytesCollectorNotify> m_notify;
    std::deque<std::vector<uint8_t>> m_late;
    int m_requests = 0;
};

void RunConversation(FuzzInput& input, uint8_t selector, uint8_t sizeByte, CSerialPort& port)
{
    Sink sink;
    Conversation conversation(selector, sizeByte, port, sink);
    for (size_t i = 0; i < kMaxRequests && !input.Empty(); ++i) {
        const uint8_t fate = input.Byte();
        conversation.Request(fate, input.Byte());
    }
    // Notices still queued for the sink are delivered before it goes.
    QCoreApplication::sendPostedEvents(&sink);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_collectors";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        return true;
    }();
    (void)quiet;
    static CSerialPort port;

    FuzzInput input(data, size);
    const uint8_t selector = input.Byte();
    const uint8_t sizeByte = input.Byte();
    if ((selector & kConversation) != 0) {
        RunConversation(input, selector, sizeByte, port);
        return 0;
    }
    Sink sink;
    Fixture f = Make(selector, sizeByte, port, sink);
    CBytesCollector& c = *f.collector;

    while (!input.Empty()) {
        const uint8_t length = input.Byte();
        if (length == kReset) {
            c.Reset();
            if (c.Length() != 0)
                Fail("a reset left bytes in the window");
            continue;
        }
        if (length == kRequest) {
            if (f.request)
                f.request();
            continue;
        }
        const QByteArray chunk = input.Bytes(length);
        const auto* bytes = reinterpret_cast<const uint8_t*>(chunk.constData());
        const auto count = static_cast<size_t>(chunk.size());
        const size_t before = c.Length();
        c.AddBytes(bytes, count);

        if (c.Length() > c.Capacity())
            Fail("the window overflows its capacity");
        if (count == 0 || count > c.Capacity()) {
            if (c.Length() != before)
                Fail("an empty or oversized chunk changed the window");
        } else if (c.Length() < count || std::memcmp(c.Window() + c.Length() - count, bytes, count) != 0) {
            Fail("the window does not end with the newest chunk");
        }
        if (f.signalled && c.IsComplete() && !f.signalled())
            Fail("a complete answer did not signal its waiter");
        QCoreApplication::sendPostedEvents(&sink);
    }
    c.DumpInline();
    c.DumpTable();
    // Notices still queued for the sink are delivered before it goes.
    QCoreApplication::sendPostedEvents(&sink);
    f.collector.reset();
    QCoreApplication::sendPostedEvents();
    return 0;
}
