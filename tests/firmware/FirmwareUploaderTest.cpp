#include "firmware/CFirmwareUploader.h"
#include "common/CCountingHost.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "common/CSimulatedLink.h"
#include "common/PatientLimits.h"
#include "common/TestApplication.h"
#include "common/WaitFor.h"
#include "firmware/FirmwareTestSupport.h"
#include "link/CDeviceProtocol.h"

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QCoreApplication>::Register();
constexpr int kDeadlineMs = 20000;
constexpr int kPatientPageMs = 5000;


class FirmwareUploaderTest : public ::testing::Test {
protected:
    explicit FirmwareUploaderTest(CEscSimulator::Options options = {})
        : m_link(options), m_protocol(m_link.Port(), m_link.ShortCollector(), m_host),
          m_uploader(m_link.Port(), m_protocol)
    {
        QObject::connect(&m_uploader, &CFirmwareUploader::progress, [this](int p) { m_progress.push_back(p); });
        QObject::connect(&m_uploader, &CFirmwareUploader::finished, [this] { m_finished = true; });
        QObject::connect(&m_uploader, &CFirmwareUploader::failed, [this](const QString& r) { m_failure = r; });
        QObject::connect(&m_uploader, &CFirmwareUploader::pageResent, [this](int) { ++m_resends; });
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_link.OpenPort(19200));
        // A page sent again after a late acknowledgement would be written
        // twice; a busy test machine must not make an answer that late.
        m_uploader.SetPageTimeoutMs(kPatientPageMs);
        m_protocol.SetLimits(PatientLimits());
    }

    bool Ended() const { return m_finished || !m_failure.isEmpty(); }

    CSimulatedLink m_link;
    CCountingHost m_host;
    CDeviceProtocol m_protocol;
    CFirmwareUploader m_uploader;
    std::vector<int> m_progress;
    bool m_finished = false;
    int m_resends = 0;
    QString m_failure;
};

TEST_F(FirmwareUploaderTest, EveryPageReachesTheBootLoaderEvenOneHoldingTheAcknowledgement)
{
    std::vector<uint8_t> image = FirmwareTestSupport::Image(3 * 144);
    // The acknowledgement inside page 1 must not end that page early.
    image[144 + 20] = 'M';
    image[144 + 21] = 'O';
    image[144 + 22] = 0x9C;
    ASSERT_TRUE(m_uploader.QueryBootloader());
    ASSERT_TRUE(m_uploader.Start(image));
    ASSERT_TRUE(WaitFor([this] { return Ended(); }, kDeadlineMs));
    EXPECT_TRUE(m_finished) << m_failure.toStdString();
    EXPECT_EQ(m_progress, (std::vector<int>{33, 66, 100}));
    EXPECT_EQ(m_link.Sim().UploadedFirmware(), image);
    EXPECT_FALSE(m_uploader.Running());
    EXPECT_FALSE(m_uploader.Start(std::vector<uint8_t>(143)));
}

TEST_F(FirmwareUploaderTest, ADeadLineEndsInABoundedGiveUpAndTheEscStaysRecoverable)
{
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(4 * 144);
    m_uploader.SetPageTimeoutMs(100);
    ASSERT_TRUE(m_uploader.QueryBootloader());
    m_link.Sim().SetUnplugged(true);
    ASSERT_TRUE(m_uploader.Start(image));
    ASSERT_TRUE(WaitFor([this] { return Ended(); }, kDeadlineMs));
    EXPECT_FALSE(m_finished);
    EXPECT_EQ(m_resends, CFirmwareUploader::kMaxResends);
    EXPECT_TRUE(m_failure.contains(QStringLiteral("page 1 of 4"))) << m_failure.toStdString();

    // Plugged in again, the ESC takes the same upload from the start.
    m_link.Sim().SetUnplugged(false);
    m_failure.clear();
    m_uploader.SetPageTimeoutMs(kPatientPageMs);
    ASSERT_TRUE(m_uploader.QueryBootloader());
    ASSERT_TRUE(m_uploader.Start(image));
    ASSERT_TRUE(WaitFor([this] { return Ended(); }, kDeadlineMs));
    EXPECT_TRUE(m_finished) << m_failure.toStdString();
    EXPECT_EQ(m_link.Sim().UploadedFirmware(), image);
}

class RefusingBootLoaderTest : public FirmwareUploaderTest {
protected:
    RefusingBootLoaderTest() : FirmwareUploaderTest(Refusing()) {}
    static CEscSimulator::Options Refusing()
    {
        CEscSimulator::Options options;
        options.firmwareUploadSupported = false;
        return options;
    }
};

TEST_F(RefusingBootLoaderTest, ABootLoaderAnsweringOtherThanOIsRefused)
{
    EXPECT_FALSE(m_uploader.QueryBootloader());
}

}
