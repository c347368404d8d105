#include "app/CLanguageModule.h"
#include "app/CStartup.h"
#include "app/IMainWindowFactory.h"
#include "common/CScriptedPrompt.h"
#include "common/TestApplication.h"
#include "common/TestFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QCoreApplication>::Register();

const char* const kQuestion = "You have to have ESC definition file.\nWould you select the valid one?";
const QString kRussianQuestion = QStringLiteral("Нужен файл описания ESC.\nВыбрать другой?");

// Compiles a translation of the library question into folder/torv<id>.qm
// with the Qt translation compiler. Empty when the compiler is not installed.
QString MakeModule(const QString& folder, quint16 id)
{
    QString lrelease = QLibraryInfo::path(QLibraryInfo::BinariesPath) + "/lrelease";
    if (!QFile::exists(lrelease))
        lrelease = "/usr/lib/qt6/bin/lrelease";
    if (!QFile::exists(lrelease))
        return {};
    const QString ts = TestFiles::Write(
        folder, "torv.ts",
        QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" language=\"ru_RU\">"
                       "<context><name>CStartup</name><message><source>%1</source><translation>%2</translation>"
                       "</message></context></TS>\n")
            .arg(QString::fromUtf8(kQuestion), kRussianQuestion)
            .toUtf8());
    const QString qm = CLanguageModule::ModulePath(folder, id);
    QProcess process;
    process.start(lrelease, { "-silent", ts, "-qm", qm });
    return process.waitForFinished(30000) && process.exitCode() == 0 ? qm : QString();
}

TEST(LanguageModuleTest, UserLocalesMapToWindowsLanguageIdentifiers)
{
    const struct {
        QLocale::Language language;
        QLocale::Territory territory;
        quint16 id;
    } cases[] = {
        { QLocale::English, QLocale::UnitedStates, 1033 }, { QLocale::English, QLocale::UnitedKingdom, 2057 },
        { QLocale::German, QLocale::Germany, 1031 },       { QLocale::Russian, QLocale::Russia, 1049 },
        { QLocale::Chinese, QLocale::China, 2052 },        { QLocale::Portuguese, QLocale::Brazil, 1046 },
        { QLocale::German, QLocale::Austria, 3079 },       { QLocale::Portuguese, QLocale::Portugal, 2070 },
        // A territory not in the table takes the language's main identifier,
        // an unknown language English (United States).
        { QLocale::Russian, QLocale::Ukraine, 1049 },      { QLocale::German, QLocale::Belgium, 1031 },
        { QLocale::Zulu, QLocale::SouthAfrica, 1033 },     { QLocale::C, QLocale::AnyTerritory, 1033 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CLanguageModule::LanguageId(QLocale(c.language, c.territory)), c.id)
            << QLocale(c.language, c.territory).name().toStdString();
}

class NoWindowFactory : public IMainWindowFactory {
public:
    std::unique_ptr<IMainWindow> Create(const CTorvSettings&, std::unique_ptr<CDeviceLibrary>) override { return {}; }
};

TEST(LanguageModuleTest, ModuleOfTheUsersLanguageBesideTheProgramTranslatesTheTextsAndABrokenOneIsIgnored)
{
    EXPECT_EQ(CLanguageModule::ModulePath("/opt/torv", 1049), "/opt/torv/torv1049.qm");
    QTemporaryDir dir;
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    CLanguageModule module;
    EXPECT_FALSE(module.Load(dir.path(), russian));
    TestFiles::Write(dir.path(), "torv1049.qm", "this is not a translation file");
    EXPECT_FALSE(module.Load(dir.path(), russian));
    EXPECT_FALSE(module.IsLoaded());
    EXPECT_EQ(CStartup::LibraryQuestion(), QString::fromUtf8(kQuestion));

    if (MakeModule(dir.path(), 1049).isEmpty())
        GTEST_SKIP() << "the Qt translation compiler (lrelease) is not installed";
    CScriptedPrompt prompt;
    prompt.AnswerMessage(IPrompt::Answer::No);
    NoWindowFactory factory;
    {
        CStartup::Options options;
        options.executablePath = dir.path() + "/torv";
        options.locale = russian;
        CStartup startup(prompt, factory, options);
        EXPECT_EQ(startup.Run(), 0);
        EXPECT_TRUE(startup.LanguageLoaded());
    }
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text, kRussianQuestion);
    // The module goes with the program; the texts are the program's own again.
    EXPECT_EQ(CStartup::LibraryQuestion(), QString::fromUtf8(kQuestion));
    // Another language does not pick up the Russian module.
    EXPECT_FALSE(CLanguageModule().Load(dir.path(), QLocale(QLocale::German, QLocale::Germany)));
}

}
