#include "app/CTORVModule.h"

#include "CEscSimulator.h"

#include <gtest/gtest.h>

namespace {

TEST(TorvModuleTest, OwnsThePortAndShortAnswerCollectorAndEndsCleanlyWhileTheyTalk)
{
    CEscSimulator::Options options;
    options.lineTiming = false;
    CEscSimulator esc(options);
    ASSERT_TRUE(esc.Start()) << esc.LastError();

    EXPECT_EQ(CTORVModule::Instance(), nullptr);
    auto module = std::make_unique<CTORVModule>();
    EXPECT_EQ(CTORVModule::Instance(), module.get());
    EXPECT_EQ(module->Collector().Capacity(), 8u);
    ASSERT_TRUE(module->Port().Open(QString::fromStdString(esc.DevicePath()), 19200));
    module->Port().SetCollector(&module->Collector());
    uint8_t answer = 0;
    ASSERT_TRUE(module->Collector().GetResponse('s', 'e', 't', answer, 5000));
    EXPECT_EQ(answer, 'O');

    // The collector is still current and the reader thread still runs: the
    // module hands the port back to its default collector before the
    // short-answer collector goes, and closes the port after it.
    module.reset();
    EXPECT_EQ(CTORVModule::Instance(), nullptr);
}

}
