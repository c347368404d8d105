#include "app/CLanguageModule.h"

#include "app/AppLog.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

struct LanguageEntry {
    QLocale::Language language;
    QLocale::Territory territory;  // AnyTerritory: the language's main identifier
    quint16 id;
};

// Windows language identifiers (primary language in the low 10 bits, sub-
// language above). Each language's first row is its main identifier.
const LanguageEntry kLanguages[] = {
    { QLocale::English, QLocale::UnitedStates, 1033 },
    { QLocale::English, QLocale::UnitedKingdom, 2057 },
    { QLocale::English, QLocale::Australia, 3081 },
    { QLocale::English, QLocale::Canada, 4105 },
    { QLocale::English, QLocale::Ireland, 6153 },
    { QLocale::English, QLocale::NewZealand, 5129 },
    { QLocale::German, QLocale::Germany, 1031 },
    { QLocale::German, QLocale::Switzerland, 2055 },
    { QLocale::German, QLocale::Austria, 3079 },
    { QLocale::French, QLocale::France, 1036 },
    { QLocale::French, QLocale::Belgium, 2060 },
    { QLocale::French, QLocale::Canada, 3084 },
    { QLocale::French, QLocale::Switzerland, 4108 },
    { QLocale::Spanish, QLocale::Spain, 3082 },
    { QLocale::Spanish, QLocale::Mexico, 2058 },
    { QLocale::Spanish, QLocale::Argentina, 11274 },
    { QLocale::Italian, QLocale::Italy, 1040 },
    { QLocale::Italian, QLocale::Switzerland, 2064 },
    { QLocale::Russian, QLocale::Russia, 1049 },
    { QLocale::Polish, QLocale::Poland, 1045 },
    { QLocale::Czech, QLocale::CzechRepublic, 1029 },
    { QLocale::Slovak, QLocale::Slovakia, 1051 },
    { QLocale::Ukrainian, QLocale::Ukraine, 1058 },
    { QLocale::Belarusian, QLocale::Belarus, 1059 },
    { QLocale::Bulgarian, QLocale::Bulgaria, 1026 },
    { QLocale::Japanese, QLocale::Japan, 1041 },
    { QLocale::Korean, QLocale::SouthKorea, 1042 },
    { QLocale::Chinese, QLocale::China, 2052 },
    { QLocale::Chinese, QLocale::Taiwan, 1028 },
    { QLocale::Chinese, QLocale::HongKong, 3076 },
    { QLocale::Portuguese, QLocale::Brazil, 1046 },
    { QLocale::Portuguese, QLocale::Portugal, 2070 },
    { QLocale::Dutch, QLocale::Netherlands, 1043 },
    { QLocale::Dutch, QLocale::Belgium, 2067 },
    { QLocale::Hungarian, QLocale::Hungary, 1038 },
    { QLocale::Romanian, QLocale::Romania, 1048 },
    { QLocale::Croatian, QLocale::Croatia, 1050 },
    { QLocale::Slovenian, QLocale::Slovenia, 1060 },
    { QLocale::Serbian, QLocale::Serbia, 3098 },
    { QLocale::Greek, QLocale::Greece, 1032 },
    { QLocale::Turkish, QLocale::Turkey, 1055 },
    { QLocale::Swedish, QLocale::Sweden, 1053 },
    { QLocale::Finnish, QLocale::Finland, 1035 },
    { QLocale::Danish, QLocale::Denmark, 1030 },
    { QLocale::NorwegianBokmal, QLocale::Norway, 1044 },
    { QLocale::Estonian, QLocale::Estonia, 1061 },
    { QLocale::Latvian, QLocale::Latvia, 1062 },
    { QLocale::Lithuanian, QLocale::Lithuania, 1063 },
    { QLocale::Hebrew, QLocale::Israel, 1037 },
    { QLocale::Arabic, QLocale::SaudiArabia, 1025 },
    { QLocale::Thai, QLocale::Thailand, 1054 },
    { QLocale::Vietnamese, QLocale::Vietnam, 1066 },
    { QLocale::Indonesian, QLocale::Indonesia, 1057 },
};

constexpr quint16 kEnglishUnitedStates = 1033;

}

CLanguageModule::CLanguageModule() = default;

CLanguageModule::~CLanguageModule()
{
    if (m_translator != nullptr && QCoreApplication::instance() != nullptr)
        QCoreApplication::removeTranslator(m_translator.get());
}

quint16 CLanguageModule::LanguageId(const QLocale& locale)
{
    const LanguageEntry* main = nullptr;
    for (const LanguageEntry& entry : kLanguages) {
        if (entry.language != locale.language())
            continue;
        if (entry.territory == locale.territory())
            return entry.id;
        if (main == nullptr)
            main = &entry;
    }
    return main != nullptr ? main->id : kEnglishUnitedStates;
}

QLocale CLanguageModule::UserLocale()
{
    const QStringList languages = QLocale::system().uiLanguages();
    return languages.isEmpty() ? QLocale::system() : QLocale(languages.first());
}

QString CLanguageModule::ModulePath(const QString& programFolder, quint16 languageId)
{
    return QStringLiteral("%1/torv%2.qm").arg(programFolder).arg(languageId);
}

bool CLanguageModule::Load(const QString& programFolder, const QLocale& locale)
{
    if (IsLoaded())
        return true;
    const QString path = ModulePath(programFolder, LanguageId(locale));
    if (!QFileInfo::exists(path))
        return false;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(path)) {
        qCDebug(lcApp) << "language module" << path << "cannot be loaded";
        return false;
    }
    if (!QCoreApplication::installTranslator(translator.get())) {
        qCDebug(lcApp) << "language module" << path << "cannot be installed";
        return false;
    }
    m_translator = std::move(translator);
    return true;
}
