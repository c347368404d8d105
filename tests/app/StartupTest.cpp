#include "app/CIniFile.h"
#include "app/CStartup.h"
#include "app/CTORVModule.h"
#include "app/IMainWindowFactory.h"
#include "common/CScriptedPrompt.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A main window that runs no event loop: Run calls the test's hook (which
// plays the user) and returns the close command's code.
class FakeWindow : public IMainWindow {
public:
    using Hook = std::function<void(FakeWindow&)>;

    FakeWindow(const CTorvSettings& settings, std::unique_ptr<CDeviceLibrary> library, Hook hook)
        : m_settings(settings), m_library(std::move(library)), m_hook(std::move(hook)) {}

    int Run() override
    {
        if (m_hook)
            m_hook(*this);
        return 2;
    }
    CTorvSettings Settings() const override { return m_settings; }

    CTorvSettings m_settings;
    std::unique_ptr<CDeviceLibrary> m_library;
    Hook m_hook;
};

class FakeFactory : public IMainWindowFactory {
public:
    std::unique_ptr<IMainWindow> Create(const CTorvSettings& settings,
                                        std::unique_ptr<CDeviceLibrary> library) override
    {
        ++created;
        createdWith = settings;
        libraryRoot = library != nullptr ? library->Root().name() : "";
        if (fail)
            return nullptr;
        return std::make_unique<FakeWindow>(settings, std::move(library), hook);
    }

    int created = 0;
    bool fail = false;
    CTorvSettings createdWith;
    std::string libraryRoot;
    FakeWindow::Hook hook;
};

class StartupTest : public ::testing::Test {
protected:
    QString Folder() const { return m_dir.path(); }
    QString IniPath() const { return m_dir.filePath("TORV.ini"); }

    QString WriteFile(const QString& name, const QByteArray& content)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    QString WriteLibrary(const QString& name) { return WriteFile(name, "<?xml version=\"1.0\"?>\n<Brisko version=\"1\"/>\n"); }

    int Run(CStartup::Options options = {})
    {
        if (options.executablePath.isEmpty())
            options.executablePath = Folder() + "/torv";
        options.locale = QLocale(QLocale::English, QLocale::UnitedStates);
        CStartup startup(m_prompt, m_factory, std::move(options));
        return startup.Run();
    }

    CTorvSettings Written() const
    {
        CIniFile ini(IniPath());
        ini.Load();
        return CTorvSettings::Read(ini, Folder());
    }

    QStringList WrittenKeys() const
    {
        CIniFile ini(IniPath());
        ini.Load();
        return ini.Keys("TORV");
    }

    void ExpectLibraryPrompt(const CScriptedPrompt::Request& r)
    {
        EXPECT_EQ(r.kind, CScriptedPrompt::Kind::Message);
        EXPECT_EQ(r.text, "You have to have ESC definition file.\nWould you select the valid one?");
        EXPECT_EQ(r.caption, "TORV");
        EXPECT_EQ(r.icon, IPrompt::Icon::Error);
        EXPECT_EQ(r.buttons, IPrompt::Buttons::YesNo);
    }

    void ExpectLibraryFileDialog(const CScriptedPrompt::Request& r)
    {
        EXPECT_EQ(r.kind, CScriptedPrompt::Kind::OpenFile);
        EXPECT_EQ(r.file.defaultExtension, ".esc");
        EXPECT_EQ(r.file.filters, (QStringList { "Esc Definition Files (*.esc)", "All Files (*.*)" }));
        EXPECT_TRUE(r.file.mustExist);
    }

    QTemporaryDir m_dir;
    CScriptedPrompt m_prompt;
    FakeFactory m_factory;
};

const QStringList kAllKeys { "ESCFile", "FirmwareFolder", "MelodiesFolder", "Port", "SaveFolder", "cx", "cy" };

TEST_F(StartupTest, FreshInstallReadsTheDefaultLibraryAndWritesAllSevenKeysAtExit)
{
    WriteLibrary("Brisko.esc");
    EXPECT_EQ(Run(), 2);

    ASSERT_EQ(m_factory.created, 1);
    EXPECT_EQ(m_factory.createdWith, CTorvSettings::Defaults(Folder()));
    EXPECT_EQ(m_factory.createdWith.port, "COM1:");
    EXPECT_EQ(m_factory.libraryRoot, "Brisko");
    EXPECT_TRUE(m_prompt.Requests().empty());

    EXPECT_EQ(WrittenKeys(), kAllKeys);
    EXPECT_EQ(Written(), CTorvSettings::Defaults(Folder()));
}

TEST_F(StartupTest, WhatTheWindowChangedIsWrittenBack)
{
    WriteLibrary("Brisko.esc");
    m_factory.hook = [](FakeWindow& w) {
        w.m_settings.port = "/dev/ttyUSB0";
        w.m_settings.saveFolder = "/home/me/saved";
        w.m_settings.cx = 700;
        w.m_settings.cy = 520;
    };
    EXPECT_EQ(Run(), 2);

    const CTorvSettings s = Written();
    EXPECT_EQ(s.port, "/dev/ttyUSB0");
    EXPECT_EQ(s.saveFolder, "/home/me/saved");
    EXPECT_EQ(s.cx, 700);
    EXPECT_EQ(s.cy, 520);
}

TEST_F(StartupTest, StoredSettingsReachTheWindow)
{
    const QString library = WriteLibrary("mine.esc");
    WriteFile("TORV.ini", QStringLiteral("[TORV]\nESCFile=%1\nPort=/dev/ttyACM0\ncx=600\ncy=400\nFirmwareFolder=/fw\n")
                              .arg(library)
                              .toUtf8());
    EXPECT_EQ(Run(), 2);
    EXPECT_EQ(m_factory.createdWith.escFile, library);
    EXPECT_EQ(m_factory.createdWith.port, "/dev/ttyACM0");
    EXPECT_EQ(m_factory.createdWith.firmwareFolder, "/fw");
    EXPECT_EQ(m_factory.createdWith.cx, 600);
    EXPECT_EQ(m_factory.createdWith.cy, 400);
}

TEST_F(StartupTest, UnusableLibraryIsReplacedByTheFileTheUserChoosesUntilOneParses)
{
    WriteFile("Brisko.esc", "<Brisko><unclosed></Brisko>");
    const QString broken = WriteFile("broken.esc", "not xml at all");
    const QString good = WriteLibrary("good.esc");
    m_prompt.AnswerMessage(IPrompt::Answer::Yes);
    m_prompt.AnswerOpenFile(broken);
    m_prompt.AnswerMessage(IPrompt::Answer::Yes);
    m_prompt.AnswerOpenFile(good);

    EXPECT_EQ(Run(), 2);

    const auto& r = m_prompt.Requests();
    ASSERT_EQ(r.size(), 4u);
    ExpectLibraryPrompt(r[0]);
    ExpectLibraryFileDialog(r[1]);
    ExpectLibraryPrompt(r[2]);
    ExpectLibraryFileDialog(r[3]);
    ASSERT_EQ(m_factory.created, 1);
    EXPECT_EQ(m_factory.createdWith.escFile, good);
    EXPECT_EQ(Written().escFile, good);
}

struct GiveUp {
    const char* name;
    bool answerYesThenCancel;
};

class StartupGiveUpTest : public StartupTest, public ::testing::WithParamInterface<GiveUp> {};

TEST_P(StartupGiveUpTest, GivingUpOnTheLibraryWritesEveryKeyButTheLibraryWithTheValuesRead)
{
    const QByteArray stored = "[Chart.RPM]\nColor=255\n\n[TORV]\nESCFile=/nowhere/lib.esc\nFirmwareFolder=/fw\n"
                              "MelodiesFolder=/mel\nSaveFolder=/save\nPort=/dev/ttyUSB1\ncx=610\ncy=455\n";
    WriteFile("TORV.ini", stored);
    if (GetParam().answerYesThenCancel) {
        m_prompt.AnswerMessage(IPrompt::Answer::Yes);
        m_prompt.AnswerOpenFile(std::nullopt);
    } else {
        m_prompt.AnswerMessage(IPrompt::Answer::No);
    }

    EXPECT_EQ(Run(), 0);

    EXPECT_EQ(m_factory.created, 0);
    ExpectLibraryPrompt(m_prompt.Requests().at(0));
    const CTorvSettings s = Written();
    EXPECT_EQ(s.escFile, "/nowhere/lib.esc");
    EXPECT_EQ(s.firmwareFolder, "/fw");
    EXPECT_EQ(s.melodiesFolder, "/mel");
    EXPECT_EQ(s.saveFolder, "/save");
    EXPECT_EQ(s.port, "/dev/ttyUSB1");
    EXPECT_EQ(s.cx, 610);
    EXPECT_EQ(s.cy, 455);
    QFile file(IniPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), stored);
}

TEST_P(StartupGiveUpTest, GivingUpOnAFreshInstallWritesSixKeys)
{
    if (GetParam().answerYesThenCancel) {
        m_prompt.AnswerMessage(IPrompt::Answer::Yes);
        m_prompt.AnswerOpenFile(std::nullopt);
    } else {
        m_prompt.AnswerMessage(IPrompt::Answer::No);
    }
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(WrittenKeys(), (QStringList { "FirmwareFolder", "MelodiesFolder", "Port", "SaveFolder", "cx", "cy" }));
}

INSTANTIATE_TEST_SUITE_P(Answers, StartupGiveUpTest,
                         ::testing::Values(GiveUp { "No", false }, GiveUp { "YesThenCancel", true }),
                         [](const ::testing::TestParamInfo<GiveUp>& info) { return info.param.name; });

TEST_F(StartupTest, ProgramWithoutAFolderEndsAtOnceTouchingNothing)
{
    WriteLibrary("Brisko.esc");
    CStartup::Options options;
    options.executablePath = "torv";
    options.settingsPath = IniPath();
    EXPECT_EQ(Run(options), 0);
    EXPECT_EQ(m_factory.created, 0);
    EXPECT_TRUE(m_prompt.Requests().empty());
    EXPECT_FALSE(QFile::exists(IniPath()));
}

TEST_F(StartupTest, WindowThatCannotBeCreatedEndsTheRunWithoutWritingSettings)
{
    WriteLibrary("Brisko.esc");
    m_factory.fail = true;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(m_factory.created, 1);
    EXPECT_FALSE(QFile::exists(IniPath()));
}

TEST_F(StartupTest, SectionsWrittenWhileTheWindowRunsSurviveTheExit)
{
    WriteLibrary("Brisko.esc");
    const QString ini = IniPath();
    m_factory.hook = [ini](FakeWindow& w) {
        CIniFile file(ini);
        file.Load();
        file.SetValue("Chart.RPM", "Color", "65280");
        file.SetValue("Panel.Tracks", "1", "/home/me/track.tplay");
        ASSERT_TRUE(file.Save());
        w.m_settings.port = "/dev/pts/7";
    };
    EXPECT_EQ(Run(), 2);

    CIniFile file(ini);
    ASSERT_EQ(file.Load(), CIniFile::LoadResult::Loaded);
    EXPECT_EQ(file.Value("Chart.RPM", "Color"), QStringLiteral("65280"));
    EXPECT_EQ(file.Value("Panel.Tracks", "1"), QStringLiteral("/home/me/track.tplay"));
    EXPECT_EQ(file.Value("TORV", "Port"), QStringLiteral("/dev/pts/7"));
}

TEST_F(StartupTest, TheWindowIsTheCurrentMainWindowOnlyWhileItRuns)
{
    WriteLibrary("Brisko.esc");
    IMainWindow* seen = nullptr;
    IMainWindow* running = nullptr;
    m_factory.hook = [&](FakeWindow& w) {
        running = &w;
        seen = CTORVModule::CurrentMainWindow();
    };
    EXPECT_EQ(CTORVModule::CurrentMainWindow(), nullptr);
    EXPECT_EQ(Run(), 2);
    EXPECT_NE(running, nullptr);
    EXPECT_EQ(seen, running);
    EXPECT_EQ(CTORVModule::CurrentMainWindow(), nullptr);
}

TEST_F(StartupTest, TheLibraryParserCanBeReplaced)
{
    QStringList asked;
    CStartup::Options options;
    options.parseLibrary = [&asked](const QString& path) {
        asked.append(path);
        auto library = std::make_unique<CDeviceLibrary>();
        library->LoadFromBuffer("<Replaced/>");
        return library;
    };
    EXPECT_EQ(Run(options), 2);
    EXPECT_EQ(asked, QStringList { Folder() + "/Brisko.esc" });
    EXPECT_EQ(m_factory.libraryRoot, "Replaced");
}

TEST_F(StartupTest, LibraryParsingRejectsMissingEmptyAndMalformedFiles)
{
    EXPECT_EQ(CStartup::ParseLibraryFile(QString()), nullptr);
    EXPECT_EQ(CStartup::ParseLibraryFile(m_dir.filePath("none.esc")), nullptr);
    EXPECT_EQ(CStartup::ParseLibraryFile(m_dir.path()), nullptr);
    EXPECT_EQ(CStartup::ParseLibraryFile(WriteFile("empty.esc", "")), nullptr);
    EXPECT_EQ(CStartup::ParseLibraryFile(WriteFile("bad.esc", "<a><b></a>")), nullptr);
    const auto good = CStartup::ParseLibraryFile(WriteLibrary(QStringLiteral("name with spaces ů.esc")));
    ASSERT_NE(good, nullptr);
    EXPECT_STREQ(good->Root().name(), "Brisko");
}

}
