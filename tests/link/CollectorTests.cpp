#include "LinkTestSupport.h"

#include "app/CTorvMessage.h"
#include "common/WaitFor.h"
#include "link/CCrc16.h"
#include "link/CFakeBytesCollector.h"
#include "link/CPageBytesCollector.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"
#include "link/CWindowBytesCollector.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

void Feed(CBytesCollector& c, const Bytes& bytes)
{
    c.AddBytes(bytes.data(), bytes.size());
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kProbeEcho = { 'M', 's', 'e', 't', 0x99 };
const Bytes kReady = { 'M', 0x4F, 0x9C };

// Echo of 'M', 'R', first, last, sum, then 'M', data, CRC low, CRC high.
Bytes BlockAnswer(const Bytes& data, bool crcLowFirst = true)
{
    Bytes w = { 'M', 'R', 0, static_cast<uint8_t>(data.size() - 1), 0 };
    w[4] = static_cast<uint8_t>(w[0] + w[1] + w[2] + w[3]);
    w.push_back('M');
    w.insert(w.end(), data.begin(), data.end());
    const uint16_t crc = CCrc16::Compute(w.data() + 5, data.size() + 1);
    const uint8_t lo = crc & 0xFF, hi = crc >> 8;
    w.push_back(crcLowFirst ? lo : hi);
    w.push_back(crcLowFirst ? hi : lo);
    return w;
}

Bytes Pattern(size_t n)
{
    Bytes data(n);
    for (size_t i = 0; i < n; ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 3);
    return data;
}

}

TEST(Crc16, MatchesTheModbusCheckValuesAndARealFrame)
{
    const std::string check = "123456789";
    EXPECT_EQ(CCrc16::Compute(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x4B37);
    EXPECT_EQ(CCrc16::Compute(nullptr, 0), 0xFFFF);
    // A register read 01 03 00 00 00 01 travels with the CRC bytes 84 0A.
    const Bytes frame = { 0x01, 0x03, 0x00, 0x00, 0x00, 0x01 };
    EXPECT_EQ(CCrc16::Compute(frame.data(), frame.size()), 0x0A84);
}

TEST(CommandFrame, SumsTheFirstFourBytes)
{
    EXPECT_EQ(CSerialPort::CommandFrame('s', 'e', 't'), (std::array<uint8_t, 5> { 'M', 's', 'e', 't', 0x99 }));
    EXPECT_EQ(CSerialPort::CommandFrame('r', 'e', 0x40), (std::array<uint8_t, 5> { 'M', 'r', 'e', 0x40, 0x64 }));
    EXPECT_EQ(CSerialPort::CommandFrame('w', 0x0A, 0xC8), (std::array<uint8_t, 5> { 'M', 'w', 0x0A, 0xC8, 0x96 }));
}

TEST(ShortAnswerCollector, CompletesOnEchoAndAnswerAndAStrayByteBreaksTheCheck)
{
    CSerialPort port;
    CSynchroBytesCollector c(port);
    Feed(c, kProbeEcho);
    EXPECT_FALSE(c.Wait(0));
    Feed(c, kReady);
    EXPECT_TRUE(c.Wait(0));
    EXPECT_TRUE(c.IsComplete());

    Feed(c, { 0x00 });
    EXPECT_FALSE(c.IsComplete());
    EXPECT_EQ(c.Length(), 8u);
    EXPECT_EQ(c.Window()[0], 's');

    c.Reset();
    EXPECT_FALSE(c.Wait(0));
    EXPECT_EQ(c.Length(), 0u);
}

TEST(ShortAnswerCollector, KeepsTheNewestBytesAndJudgesOnlyThem)
{
    CSerialPort port;
    CSynchroBytesCollector c(port);
    // Noise ahead of the answer shifts out; the answer arrives in pieces.
    Feed(c, { 1, 2, 3, 4, 5, 6 });
    Feed(c, Bytes(kProbeEcho.begin(), kProbeEcho.begin() + 3));
    Feed(c, Concat(Bytes(kProbeEcho.begin() + 3, kProbeEcho.end()), { 'M' }));
    EXPECT_FALSE(c.Wait(0));
    Feed(c, { 0x4F, 0x9C });
    EXPECT_TRUE(c.Wait(0));

    // A chunk longer than the window is dropped whole, one of exactly the
    // window size replaces it.
    c.Reset();
    Feed(c, { 9, 9 });
    Feed(c, Bytes(300, 'M'));
    EXPECT_EQ(c.Length(), 2u);
    Feed(c, Concat(kProbeEcho, kReady));
    EXPECT_TRUE(c.Wait(0));
    EXPECT_EQ(Bytes(c.Window(), c.Window() + 8), Concat(kProbeEcho, kReady));
}

TEST(ShortAnswerCollector, RejectsBadSums)
{
    CSerialPort port;
    CSynchroBytesCollector c(port);
    Feed(c, Concat(kProbeEcho, { 'M', 0x4F, 0x9D }));
    EXPECT_FALSE(c.IsComplete());
    Feed(c, Concat({ 'M', 's', 'e', 't', 0x98 }, kReady));
    EXPECT_FALSE(c.IsComplete());
    Feed(c, Concat({ 'X', 's', 'e', 't', 0x99 }, kReady));
    EXPECT_FALSE(c.IsComplete());
    EXPECT_FALSE(c.Wait(0));
}

TEST(FakeCollector, NeverCompletes)
{
    CFakeBytesCollector c;
    EXPECT_EQ(c.Capacity(), 8u);
    Feed(c, Concat(kProbeEcho, kReady));
    EXPECT_FALSE(c.IsComplete());
    EXPECT_EQ(c.Length(), 8u);
    Feed(c, Bytes(300, 0));
    EXPECT_EQ(c.Length(), 8u);
}

TEST(WindowCollector, PostsEchoInWithTheFrameArgumentsPacked)
{
    MessageSink sink;
    CWindowBytesCollector c(8, &sink);
    // Erase block 0x1234: 'M', 'E', low, high, sum; answer value 0x4F.
    Bytes frame = { 'M', 'E', 0x34, 0x12, 0 };
    frame[4] = static_cast<uint8_t>('M' + 'E' + 0x34 + 0x12);
    Feed(c, Concat(frame, kReady));
    ASSERT_TRUE(WaitFor([&] { return !sink.messages.empty(); }));
    EXPECT_EQ(sink.messages[0].type, TorvMessages::EchoIn());
    EXPECT_EQ(sink.messages[0].wParam, (quintptr('E') << 16) | (0x12u << 8) | 0x34u);
    EXPECT_EQ(sink.messages[0].lParam, 0x4Fu);

    // A vanished target is skipped quietly.
    auto* gone = new MessageSink;
    CWindowBytesCollector orphan(8, gone);
    delete gone;
    Feed(orphan, Concat(frame, kReady));
}

TEST(PageCollector, CompletesOnlyOnTheFullWindowWithTheCrcLowByteFirst)
{
    const Bytes answer = BlockAnswer(Pattern(256));
    ASSERT_EQ(answer.size(), 264u);
    CPageBytesCollector c(256);
    EXPECT_EQ(c.Capacity(), 264u);

    Feed(c, Bytes(answer.begin(), answer.begin() + 200));
    Feed(c, Bytes(answer.begin() + 200, answer.end() - 1));
    EXPECT_FALSE(c.IsComplete());
    Feed(c, Bytes(answer.end() - 1, answer.end()));
    EXPECT_TRUE(c.IsComplete());
    EXPECT_EQ(Bytes(c.Window() + 6, c.Window() + 262), Pattern(256));

    Feed(c, { 0x00 });
    EXPECT_FALSE(c.IsComplete());

    c.Reset();
    Feed(c, BlockAnswer(Pattern(256), false));
    EXPECT_FALSE(c.IsComplete());

    Bytes corrupt = answer;
    corrupt[100] ^= 0x01;
    c.Reset();
    Feed(c, corrupt);
    EXPECT_FALSE(c.IsComplete());
}
