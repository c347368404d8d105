// The link's byte collectors: arbitrary chunk sequences handed to AddBytes
// as the serial reader thread hands them, with resets and new requests in
// between. No port is open (requests write nothing) and no wait is longer
// than 0 ms; time-outs are armed but never expire while an input runs.
//
// Input: a selector byte (which collector), a size byte (page or block
// size, window capacity), then records: a length byte L and L bytes to
// deliver; L = 0xFF resets the collector, L = 0xFE starts a new request.

#include "FuzzInput.h"

#include "link/CBytesCollector.h"
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

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

protected:
    void customEvent(QEvent*) override { ++received; }
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
