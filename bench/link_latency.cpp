// Link latency and collector throughput.
//  AnswerToCompletion: from writing the last byte of a short answer on the
//    master side of a pseudo-terminal to the completion event seen by the
//    thread waiting on a CSynchroBytesCollector (reader thread, poll, read,
//    delivery, completion test, event). Reports median and 99th percentile.
//  PageWindowCheck: AddBytes plus the completion test (CRC-16 over 257
//    bytes) for 272-byte logger page windows, whole or in serial-sized chunks.
#include "link/CCrc16.h"
#include "link/CPageBytesCollector.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class Pty {
public:
    Pty()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0) {
            char name[128] = {};
            if (ptsname_r(m_master, name, sizeof name) == 0)
                m_slave = QString::fromLocal8Bit(name);
        }
    }
    ~Pty()
    {
        if (m_master >= 0)
            close(m_master);
    }
    int Master() const { return m_master; }
    const QString& Slave() const { return m_slave; }

private:
    int m_master = -1;
    QString m_slave;
};

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5));
    std::nth_element(values.begin(), values.begin() + index, values.end());
    return values[index];
}

void AnswerToCompletion(benchmark::State& state)
{
    Pty pty;
    CSerialPort port;
    if (pty.Slave().isEmpty() || !port.Open(pty.Slave(), 115200)) {
        state.SkipWithError("cannot open a pseudo-terminal");
        return;
    }
    CSynchroBytesCollector collector(port);
    port.SetCollector(&collector);
    // Echo of the probe frame and the ready answer, as the line returns them.
    const uint8_t answer[8] = { 'M', 's', 'e', 't', 0x99, 'M', 'O', 0x9C };

    std::vector<double> latencies;
    for (auto _ : state) {
        collector.Reset();
        const Clock::time_point start = Clock::now();
        if (write(pty.Master(), answer, sizeof answer) != static_cast<ssize_t>(sizeof answer)) {
            state.SkipWithError("write to the master failed");
            break;
        }
        if (!collector.Wait(1000)) {
            state.SkipWithError("no completion within 1 s");
            break;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        latencies.push_back(seconds * 1e6);
    }
    port.ResetCollector();
    state.counters["median_us"] = Percentile(latencies, 0.5);
    state.counters["p99_us"] = Percentile(latencies, 0.99);
    state.counters["max_us"] = latencies.empty() ? 0 : *std::max_element(latencies.begin(), latencies.end());
}
BENCHMARK(AnswerToCompletion)->UseManualTime()->Iterations(5000)->Unit(benchmark::kMicrosecond);

std::vector<uint8_t> PageAnswer()
{
    std::vector<uint8_t> w = { 'M', 'l', 0, 0, 'M' + 'l' };
    w.push_back('M');
    for (int i = 0; i < 264; ++i)
        w.push_back(static_cast<uint8_t>(i * 31 + 7));
    const uint16_t crc = CCrc16::Compute(w.data() + 5, 265);
    w.push_back(static_cast<uint8_t>(crc & 0xFF));
    w.push_back(static_cast<uint8_t>(crc >> 8));
    return w;
}

void PageWindowCheck(benchmark::State& state)
{
    const size_t chunk = static_cast<size_t>(state.range(0));
    const std::vector<uint8_t> answer = PageAnswer();
    CPageBytesCollector collector(264);
    size_t completions = 0;
    for (auto _ : state) {
        collector.Reset();
        for (size_t offset = 0; offset < answer.size(); offset += chunk)
            collector.AddBytes(answer.data() + offset, std::min(chunk, answer.size() - offset));
        completions += collector.IsComplete() ? 1 : 0;
    }
    if (completions != static_cast<size_t>(state.iterations()))
        state.SkipWithError("a page window failed its check");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(PageWindowCheck)->Arg(272)->Arg(32)->Arg(1);

}

BENCHMARK_MAIN();
