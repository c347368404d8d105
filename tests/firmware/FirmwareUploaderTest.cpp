#include "firmware/CFirmwareUploader.h"
#include "common/CCountingHost.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

#include "common/CSimulatedLink.h"
#include "common/PatientLimits.h"
#include "common/TestApplication.h"
#include "common/WaitFor.h"
#include "firmware/FirmwareTestSupport.h"
#include "link/CDeviceProtocol.h"

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QCoreApplication>::Register();
constexpr int kDeadlineMs = 30000;

class FirmwareUploaderTest : public ::testing::Test {
protected:
    // A simulated ESC with the options, its port open at 19200 baud.
    void Connect(const CEscSimulator::Options& options = {})
    {
        m_link = std::make_unique<CSimulatedLink>(options);
        m_protocol = std::make_unique<CDeviceProtocol>(m_link->Port(), m_link->ShortCollector(), m_host);
        m_uploader = std::make_unique<CFirmwareUploader>(m_link->Port(), *m_protocol);
        QObject::connect(m_uploader.get(), &CFirmwareUploader::progress, [this](int p) { m_progress.push_back(p); });
        QObject::connect(m_uploader.get(), &CFirmwareUploader::finished, [this] { m_finished = true; });
        QObject::connect(m_uploader.get(), &CFirmwareUploader::failed, [this](const QString& r) { m_failure = r; });
        QObject::connect(m_uploader.get(), &CFirmwareUploader::pageLate, [this](int page) { m_late.push_back(page); });
        ASSERT_TRUE(m_link->OpenPort(19200));
        m_protocol->SetLimits(PatientLimits());
    }

    // Runs one upload from the boot loader query to its end; the fault, if
    // any, is set after the query.
    void Upload(const std::vector<uint8_t>& image, const std::function<void(CEscSimulator&)>& fault = {})
    {
        m_finished = false;
        m_failure.clear();
        m_link->Sim().ClearFrames();
        ASSERT_TRUE(m_uploader->QueryBootloader());
        if (fault)
            fault(m_link->Sim());
        ASSERT_TRUE(m_uploader->Start(image));
        ASSERT_TRUE(WaitFor([this] { return m_finished || !m_failure.isEmpty(); }, kDeadlineMs))
            << "the upload neither finished nor failed";
    }

    static std::function<void(CEscSimulator&)> Fault(const std::string& text)
    {
        CEscSimulator::Fault fault;
        std::string error;
        EXPECT_TRUE(CEscSimulator::ParseFault(text, fault, error)) << error;
        return [fault](CEscSimulator& sim) { sim.AddFault(fault); };
    }

    int PageFrames() const
    {
        const auto frames = m_link->ReceivedFrames();
        return static_cast<int>(std::count_if(frames.begin(), frames.end(),
                                              [](const auto& f) { return f.size() == 148 && f[1] == 'f'; }));
    }

    std::unique_ptr<CSimulatedLink> m_link;
    CCountingHost m_host;
    std::unique_ptr<CDeviceProtocol> m_protocol;
    std::unique_ptr<CFirmwareUploader> m_uploader;
    std::vector<int> m_progress;
    std::vector<int> m_late;
    bool m_finished = false;
    QString m_failure;
};

// Every page reaches the boot loader exactly once. An acknowledgement inside
// a page does not end it early. The frames carry no page number: a page sent
// again after an acknowledgement that was late or spoilt on the way is
// written twice. A late acknowledgement is waited for (and the page reported
// late); a spoilt or missing one ends in a bounded failure, the page sent
// once. Never a doubled page reported as success; the ESC then takes the
// whole upload again.
TEST_F(FirmwareUploaderTest, EveryPageReachesTheBootLoaderExactlyOnceWhateverBecomesOfTheAcknowledgements)
{
    Connect();
    std::vector<uint8_t> image = FirmwareTestSupport::Image(3 * 144);
    image[144 + 20] = 'M';
    image[144 + 21] = 'O';
    image[144 + 22] = 0x9C;
    Upload(image);
    EXPECT_TRUE(m_finished) << m_failure.toStdString();
    EXPECT_EQ(m_progress, (std::vector<int>{33, 66, 100}));
    EXPECT_EQ(m_link->Sim().UploadedFirmware(), image);
    EXPECT_FALSE(m_uploader->Running());
    EXPECT_FALSE(m_uploader->Start(std::vector<uint8_t>(143)));

    Upload(image, Fault("late:ack:2:1500"));   // later than the product's page time-out
    EXPECT_TRUE(m_finished) << m_failure.toStdString();
    EXPECT_EQ(m_link->Sim().UploadedFirmware(), image);
    EXPECT_EQ(m_late, std::vector<int>{1});

    m_uploader->SetGiveUpMs(1500);
    for (const char* fault : {"corrupt:ack:2", "dropbyte:ack:2", "unplug:ack:2"}) {
        SCOPED_TRACE(fault);
        Upload(image, Fault(fault));
        EXPECT_FALSE(m_finished);
        EXPECT_TRUE(m_failure.contains(QStringLiteral("page 2 of 3"))) << m_failure.toStdString();
        EXPECT_EQ(PageFrames(), 2) << "a page was sent again";
    }

    m_link->Sim().SetUnplugged(false);
    Upload(image);
    EXPECT_TRUE(m_finished) << m_failure.toStdString();
    EXPECT_EQ(m_link->Sim().UploadedFirmware(), image);
}

// On a real line at 19200 baud a page frame takes 77 ms and the boot
// loader then writes the page before it answers: the product's page
// time-out leaves that room. After the last acknowledgement the new firmware
// starts; nothing reaches the ESC for 200 ms.
TEST_F(FirmwareUploaderTest, OnARealLineNoPageIsLateAndTheNewFirmwareGetsItsPause)
{
    constexpr int kTurnaroundMs = 30;
    CEscSimulator::Options realLine;
    realLine.lineTiming = true;
    realLine.ackTurnaroundUs = kTurnaroundMs * 1000;
    Connect(realLine);
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(3 * 144);
    Upload(image);
    ASSERT_TRUE(m_finished) << m_failure.toStdString();
    EXPECT_TRUE(m_late.empty()) << "page " << m_late.front() << " was reported late";
    EXPECT_EQ(m_link->Sim().UploadedFirmware(), image);

    // The next exchange follows the end of the upload at once.
    ASSERT_TRUE(m_protocol->Probe());
    const std::vector<CEscSimulator::Frame> frames = m_link->Sim().Frames();
    const auto lastPage = std::find_if(frames.rbegin(), frames.rend(), [](const CEscSimulator::Frame& f) {
        return f.bytes.size() == 148 && f.bytes[1] == 'f';
    });
    ASSERT_NE(lastPage, frames.rend());
    ASSERT_NE(lastPage, frames.rbegin()) << "nothing followed the last page";
    const auto acknowledged = lastPage->at + std::chrono::milliseconds(kTurnaroundMs);
    const auto next = std::prev(lastPage)->at;
    EXPECT_GE(next - acknowledged, std::chrono::milliseconds(CFirmwareUploader::kFinalPauseMs));
}

TEST_F(FirmwareUploaderTest, ABootLoaderAnsweringOtherThanOIsRefused)
{
    CEscSimulator::Options refusing;
    refusing.firmwareUploadSupported = false;
    Connect(refusing);
    EXPECT_FALSE(m_uploader->QueryBootloader());
}

}
