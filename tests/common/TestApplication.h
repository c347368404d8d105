#pragma once

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// One Qt application object per test program, created before the first test
// and destroyed after the last: App is QCoreApplication for the logic tests
// and QApplication for widget tests. Any test file may register it; a second
// registration in the same program finds the object already there.
template <typename App>
class TestApplication : public ::testing::Environment {
public:
    explicit TestApplication(std::function<void()> afterCreation) : m_afterCreation(std::move(afterCreation)) {}

    void SetUp() override
    {
        if (QCoreApplication::instance() == nullptr)
            m_app = std::make_unique<App>(m_argc, m_argv);
        if (m_afterCreation)
            m_afterCreation();
    }

    void TearDown() override { m_app.reset(); }

    // For a namespace-scope initialiser: `const bool kApp = TestApplication<QApplication>::Register();`
    static bool Register(std::function<void()> afterCreation = {})
    {
        ::testing::AddGlobalTestEnvironment(new TestApplication<App>(std::move(afterCreation)));
        return true;
    }

private:
    int m_argc = 1;
    char m_name[8] = "torv";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<App> m_app;
    std::function<void()> m_afterCreation;
};
