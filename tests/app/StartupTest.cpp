#include "base/CIniFile.h"
#include "app/CStartup.h"
#include "app/IMainWindowFactory.h"
#include "common/CScriptedPrompt.h"
#include "common/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A main window without an event loop: Run lets the test's hook play the
// user and returns the close command's code.
class FakeWindow : public IMainWindow {
public:
    using Hook = std::function<void(FakeWindow&)>;
    FakeWindow(const CTorvSettings& settings, Hook hook) : m_settings(settings), m_hook(std::move(hook)) {}
    int Run() override
    {
        if (m_hook)
            m_hook(*this);
        return 2;
    }
    CTorvSettings Settings() const override { return m_settings; }

    CTorvSettings m_settings;
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
        return fail ? nullptr : std::make_unique<FakeWindow>(settings, hook);
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

    QString WriteFile(const QString& name, const QByteArray& content) { return TestFiles::Write(m_dir.path(), name, content); }
    QString WriteLibrary(const QString& name) { return WriteFile(name, "<?xml version=\"1.0\"?>\n<Brisko version=\"1\"/>\n"); }

    int Run(CStartup::Options options = {})
    {
        if (options.executablePath.isEmpty())
            options.executablePath = Folder() + "/torv";
        options.locale = QLocale(QLocale::English, QLocale::UnitedStates);
        return CStartup(m_prompt, m_factory, std::move(options)).Run();
    }

    CIniFile Ini() const
    {
        CIniFile ini(IniPath());
        ini.Load();
        return ini;
    }

    void ExpectLibraryPrompt(const CScriptedPrompt::Request& r)
    {
        EXPECT_EQ(r.kind, CScriptedPrompt::Kind::Message);
        EXPECT_EQ(r.text, "You have to have ESC definition file.\nWould you select the valid one?");
        EXPECT_EQ(r.caption, "TORV");
        EXPECT_EQ(r.icon, IPrompt::Icon::Error);
        EXPECT_EQ(r.buttons, IPrompt::Buttons::YesNo);
    }

    QTemporaryDir m_dir;
    CScriptedPrompt m_prompt;
    FakeFactory m_factory;
};

TEST_F(StartupTest, FreshInstallReadsTheDefaultLibraryAndWritesAllSevenKeysAtExit)
{
    WriteLibrary("Brisko.esc");
    EXPECT_EQ(Run(), 2);

    ASSERT_EQ(m_factory.created, 1);
    EXPECT_EQ(m_factory.createdWith, CTorvSettings::Defaults(Folder()));
    EXPECT_EQ(m_factory.libraryRoot, "Brisko");
    EXPECT_EQ(Ini().Keys("TORV"),
              (QStringList { "ESCFile", "FirmwareFolder", "MelodiesFolder", "Port", "SaveFolder", "cx", "cy" }));
    EXPECT_EQ(CTorvSettings::Read(Ini(), Folder()), CTorvSettings::Defaults(Folder()));
}

TEST_F(StartupTest, UnusableLibraryIsReplacedByTheFileTheUserChoosesUntilOneParses)
{
    WriteFile("Brisko.esc", "<Brisko><unclosed></Brisko>");
    const QString broken = WriteFile("broken.esc", "not xml at all");
    const QString good = WriteLibrary("good.esc");
    for (const QString& file : { broken, good }) {
        m_prompt.AnswerMessage(IPrompt::Answer::Yes);
        m_prompt.AnswerOpenFile(file);
    }
    EXPECT_EQ(Run(), 2);

    const auto& r = m_prompt.Requests();
    ASSERT_EQ(r.size(), 4u);
    for (size_t i : { 0, 2 }) {
        ExpectLibraryPrompt(r[i]);
        EXPECT_EQ(r[i + 1].kind, CScriptedPrompt::Kind::OpenFile);
        EXPECT_EQ(r[i + 1].file.defaultExtension, ".esc");
        EXPECT_EQ(r[i + 1].file.filters, (QStringList { "Esc Definition Files (*.esc)", "All Files (*.*)" }));
        EXPECT_TRUE(r[i + 1].file.mustExist);
    }
    ASSERT_EQ(m_factory.created, 1);
    EXPECT_EQ(m_factory.createdWith.escFile, good);
    EXPECT_EQ(Ini().Value("TORV", "ESCFile"), good);
}

class StartupGiveUpTest : public StartupTest, public ::testing::WithParamInterface<bool> {
protected:
    void GiveUp()
    {
        if (GetParam()) {  // Yes, then Cancel in the file dialog
            m_prompt.AnswerMessage(IPrompt::Answer::Yes);
            m_prompt.AnswerOpenFile(std::nullopt);
        } else {
            m_prompt.AnswerMessage(IPrompt::Answer::No);
        }
    }
};

TEST_P(StartupGiveUpTest, GivingUpOnTheLibraryWritesEveryKeyButTheLibraryWithTheValuesRead)
{
    GiveUp();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Ini().Keys("TORV"), (QStringList { "FirmwareFolder", "MelodiesFolder", "Port", "SaveFolder", "cx", "cy" }));

    // Every key but ESCFile is rewritten (and so loses its spaces); the
    // ESCFile line and the other section stay byte for byte.
    WriteFile("TORV.ini", "[Chart.RPM]\nColor=255\n\n[TORV]\nESCFile = /nowhere/lib.esc\nFirmwareFolder = /fw\n"
                          "MelodiesFolder = /mel\nSaveFolder = /save\nPort = /dev/ttyUSB1\ncx = 610\ncy = 455\n");
    GiveUp();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(TestFiles::Read(IniPath()),
              QByteArray("[Chart.RPM]\nColor=255\n\n[TORV]\nESCFile = /nowhere/lib.esc\nFirmwareFolder=/fw\n"
                         "MelodiesFolder=/mel\nSaveFolder=/save\nPort=/dev/ttyUSB1\ncx=610\ncy=455\n"));
    EXPECT_EQ(m_factory.created, 0);
    ExpectLibraryPrompt(m_prompt.Requests().at(0));
}

INSTANTIATE_TEST_SUITE_P(Answers, StartupGiveUpTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "YesThenCancel" : "No"; });

TEST_F(StartupTest, ProgramWithoutAFolderOrWindowEndsWithoutWritingSettings)
{
    WriteLibrary("Brisko.esc");
    CStartup::Options options;
    options.executablePath = "torv";
    options.settingsPath = IniPath();
    EXPECT_EQ(Run(options), 0);
    EXPECT_EQ(m_factory.created, 0);

    m_factory.fail = true;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(m_factory.created, 1);
    EXPECT_FALSE(QFile::exists(IniPath()));
}

TEST_F(StartupTest, StoredSettingsReachTheWindowAndItsChangesAreWrittenBack)
{
    const QString library = WriteLibrary("mine.esc");
    WriteFile("TORV.ini", QStringLiteral("[TORV]\nESCFile=%1\nPort=/dev/ttyACM0\ncx=600\ncy=400\nFirmwareFolder=/fw\n")
                              .arg(library)
                              .toUtf8());
    m_factory.hook = [&](FakeWindow& w) {
        // Another feature writes its own section meanwhile.
        CIniFile file(IniPath());
        file.Load();
        file.SetValue("Panel.Tracks", "1", "/home/me/track.tplay");
        ASSERT_TRUE(file.Save());
        w.m_settings.port = "/dev/pts/7";
        w.m_settings.cy = 700;
    };
    EXPECT_EQ(Run(), 2);

    CTorvSettings expected { library, "/fw", Folder(), Folder(), "/dev/ttyACM0", 600, 400 };
    EXPECT_EQ(m_factory.createdWith, expected);
    expected.port = "/dev/pts/7";
    expected.cy = 700;
    EXPECT_EQ(CTorvSettings::Read(Ini(), Folder()), expected);
    EXPECT_EQ(Ini().Value("Panel.Tracks", "1"), QStringLiteral("/home/me/track.tplay"));
}

TEST_F(StartupTest, LibraryParsingRejectsMissingEmptyAndMalformedFiles)
{
    for (const QString& path : { QString(), m_dir.filePath("none.esc"), m_dir.path(), WriteFile("empty.esc", ""),
                                 WriteFile("bad.esc", "<a><b></a>") })
        EXPECT_EQ(CStartup::ParseLibraryFile(path), nullptr) << path.toStdString();
    const auto good = CStartup::ParseLibraryFile(WriteLibrary(QStringLiteral("name with spaces ů.esc")));
    ASSERT_NE(good, nullptr);
    EXPECT_STREQ(good->Root().name(), "Brisko");
}

}
