#include "app/CLanguageModule.h"
#include "app/CStartup.h"
#include "app/IMainWindowFactory.h"
#include "common/CScriptedPrompt.h"
#include "common/TestApplication.h"

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

// Compiles a translation of the library question into folder/torv<id>.qm with
// the Qt translation compiler. Empty when the compiler is not installed.
QString MakeModule(const QString& folder, quint16 id)
{
    QString lrelease = QLibraryInfo::path(QLibraryInfo::BinariesPath) + "/lrelease";
    if (!QFile::exists(lrelease))
        lrelease = "/usr/lib/qt6/bin/lrelease";
    if (!QFile::exists(lrelease))
        return {};
    const QString ts = folder + "/torv.ts";
    QFile file(ts);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n"
                              "<TS version=\"2.1\" language=\"ru_RU\">\n<context>\n<name>CStartup</name>\n"
                              "<message>\n<source>%1</source>\n<translation>%2</translation>\n</message>\n"
                              "</context>\n</TS>\n")
                   .arg(QString::fromUtf8(kQuestion), kRussianQuestion)
                   .toUtf8());
    file.close();
    const QString qm = CLanguageModule::ModulePath(folder, id);
    QProcess process;
    process.start(lrelease, { "-silent", ts, "-qm", qm });
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return qm;
}

TEST(LanguageModuleTest, UserLocalesMapToWindowsLanguageIdentifiers)
{
    const struct {
        QLocale::Language language;
        QLocale::Territory territory;
        quint16 id;
    } cases[] = {
        { QLocale::English, QLocale::UnitedStates, 1033 }, { QLocale::English, QLocale::UnitedKingdom, 2057 },
        { QLocale::German, QLocale::Germany, 1031 },       { QLocale::French, QLocale::France, 1036 },
        { QLocale::Spanish, QLocale::Spain, 3082 },        { QLocale::Italian, QLocale::Italy, 1040 },
        { QLocale::Russian, QLocale::Russia, 1049 },       { QLocale::Polish, QLocale::Poland, 1045 },
        { QLocale::Czech, QLocale::CzechRepublic, 1029 },  { QLocale::Ukrainian, QLocale::Ukraine, 1058 },
        { QLocale::Japanese, QLocale::Japan, 1041 },       { QLocale::Chinese, QLocale::China, 2052 },
        { QLocale::Portuguese, QLocale::Brazil, 1046 },    { QLocale::Dutch, QLocale::Netherlands, 1043 },
        { QLocale::German, QLocale::Austria, 3079 },       { QLocale::Portuguese, QLocale::Portugal, 2070 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CLanguageModule::LanguageId(QLocale(c.language, c.territory)), c.id)
            << QLocale(c.language, c.territory).name().toStdString();

    // A territory not in the table takes the language's main identifier,
    // an unknown language English (United States).
    EXPECT_EQ(CLanguageModule::LanguageId(QLocale(QLocale::Russian, QLocale::Ukraine)), 1049);
    EXPECT_EQ(CLanguageModule::LanguageId(QLocale(QLocale::German, QLocale::Belgium)), 1031);
    EXPECT_EQ(CLanguageModule::LanguageId(QLocale(QLocale::Zulu, QLocale::SouthAfrica)), 1033);
    EXPECT_EQ(CLanguageModule::LanguageId(QLocale::c()), 1033);
}

TEST(LanguageModuleTest, ModuleIsNamedAfterTheIdentifierInTheProgramFolder)
{
    EXPECT_EQ(CLanguageModule::ModulePath("/opt/torv", 1049), "/opt/torv/torv1049.qm");
}

TEST(LanguageModuleTest, MissingOrBrokenModuleIsIgnored)
{
    QTemporaryDir dir;
    CLanguageModule missing;
    EXPECT_FALSE(missing.Load(dir.path(), QLocale(QLocale::Russian, QLocale::Russia)));
    EXPECT_FALSE(missing.IsLoaded());

    QFile junk(CLanguageModule::ModulePath(dir.path(), 1049));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is not a translation file");
    junk.close();
    CLanguageModule broken;
    EXPECT_FALSE(broken.Load(dir.path(), QLocale(QLocale::Russian, QLocale::Russia)));
    EXPECT_EQ(CStartup::LibraryQuestion(), QString::fromUtf8(kQuestion));
}

class NoWindowFactory : public IMainWindowFactory {
public:
    std::unique_ptr<IMainWindow> Create(const CTorvSettings&, std::unique_ptr<CDeviceLibrary>) override
    {
        return nullptr;
    }
};

TEST(LanguageModuleTest, ModuleOfTheUsersLanguageBesideTheProgramTranslatesTheTexts)
{
    QTemporaryDir dir;
    if (MakeModule(dir.path(), 1049).isEmpty())
        GTEST_SKIP() << "the Qt translation compiler (lrelease) is not installed";

    CScriptedPrompt prompt;
    prompt.AnswerMessage(IPrompt::Answer::No);
    NoWindowFactory factory;
    {
        CStartup::Options options;
        options.executablePath = dir.path() + "/torv";
        options.locale = QLocale(QLocale::Russian, QLocale::Russia);
        CStartup startup(prompt, factory, options);
        EXPECT_EQ(startup.Run(), 0);
        EXPECT_TRUE(startup.LanguageLoaded());
    }
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text, kRussianQuestion);
    // The module goes with the program; the texts are the program's own again.
    EXPECT_EQ(CStartup::LibraryQuestion(), QString::fromUtf8(kQuestion));

    // Another language does not pick up the Russian module.
    CLanguageModule german;
    EXPECT_FALSE(german.Load(dir.path(), QLocale(QLocale::German, QLocale::Germany)));
}

}
