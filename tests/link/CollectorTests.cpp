#include "LinkTestSupport.h"

#include "base/CTorvMessage.h"
#include "common/WaitFor.h"
#include "link/CCrc16.h"
#include "link/CPageBytesCollector.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"
#include "link/CWindowBytesCollector.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

void Feed(CBytesCollector& c, const Bytes& bytes)
{
    c.AddBytes(bytes.data(), bytes.size());
}

const Bytes kProbe = { 'M', 's', 'e', 't', 0x99 };
const Bytes kProbeAnswer = ShortAnswer(kProbe, 'O');  // ... 'M', 0x4F, 0x9C

}

TEST(Crc16, MatchesTheModbusCheckValues)
{
    const std::string check = "123456789";
    EXPECT_EQ(CCrc16::Compute(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x4B37);
    EXPECT_EQ(CCrc16::Compute(nullptr, 0), 0xFFFF);
}

TEST(ShortAnswerCollector, JudgesOnlyTheNewestBytesAndDropsOversizedChunks)
{
    CSerialPort port;
    CSynchroBytesCollector c(port);
    // Noise ahead shifts out; the answer arrives in pieces.
    Feed(c, { 1, 2, 3, 4, 5, 6 });
    Feed(c, Bytes(kProbeAnswer.begin(), kProbeAnswer.begin() + 3));
    Feed(c, Bytes(kProbeAnswer.begin() + 3, kProbeAnswer.end() - 1));
    EXPECT_FALSE(c.Wait(0));
    Feed(c, { 0x9C });
    EXPECT_TRUE(c.Wait(0));
    Feed(c, { 0x00 });  // a stray byte shifts the window by one
    EXPECT_FALSE(c.IsComplete());
    EXPECT_EQ(c.Window()[0], 's');

    c.Reset();
    Feed(c, { 9, 9 });
    Feed(c, Bytes(300, 'M'));  // larger than the window
    EXPECT_EQ(c.Length(), 2u);
    Feed(c, kProbeAnswer);  // exactly the capacity: replaces the window
    EXPECT_TRUE(c.Wait(0));

    for (size_t i : { 0, 4, 5, 7 }) {  // every checked byte matters
        Bytes bad = kProbeAnswer;
        bad[i] ^= 0x01;
        c.Reset();
        Feed(c, bad);
        EXPECT_FALSE(c.Wait(0)) << i;
    }
}

TEST(WindowCollector, PostsEchoInWithTheFrameArgumentsPacked)
{
    MessageSink sink;
    CWindowBytesCollector c(8, &sink);
    // Erase block 0x1234: 'M', 'E', low, high, sum; answer value 0x4F.
    const Bytes frame = { 'M', 'E', 0x34, 0x12, static_cast<uint8_t>('M' + 'E' + 0x34 + 0x12) };
    Feed(c, ShortAnswer(frame, 0x4F));
    ASSERT_TRUE(WaitFor([&] { return !sink.messages.empty(); }));
    EXPECT_EQ(sink.messages[0].type, TorvMessages::EchoIn());
    EXPECT_EQ(sink.messages[0].wParam, (quintptr('E') << 16) | (0x12u << 8) | 0x34u);
    EXPECT_EQ(sink.messages[0].lParam, 0x4Fu);

    // A vanished target is skipped quietly.
    auto gone = std::make_unique<MessageSink>();
    CWindowBytesCollector orphan(8, gone.get());
    gone.reset();
    Feed(orphan, ShortAnswer(frame, 0x4F));
}

TEST(PageCollector, CompletesOnlyOnTheFullWindowWithTheCrcLowByteFirst)
{
    const Bytes request = { 'M', 'R', 0, 255, static_cast<uint8_t>('M' + 'R' + 255) };
    const Bytes answer = BlockAnswer(request, Pattern(256, 1));
    ASSERT_EQ(answer.size(), 264u);
    CPageBytesCollector c(256);

    Feed(c, Bytes(answer.begin(), answer.begin() + 200));
    Feed(c, Bytes(answer.begin() + 200, answer.end() - 1));
    EXPECT_FALSE(c.IsComplete());
    Feed(c, { answer.back() });
    EXPECT_TRUE(c.IsComplete());
    Feed(c, { 0x00 });
    EXPECT_FALSE(c.IsComplete());

    Bytes swapped = answer;
    std::swap(swapped[262], swapped[263]);
    Bytes corrupt = answer;
    corrupt[100] ^= 0x01;
    for (const Bytes& bad : { swapped, corrupt }) {
        c.Reset();
        Feed(c, bad);
        EXPECT_FALSE(c.IsComplete());
    }
}
