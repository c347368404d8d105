#pragma once

#include <QLocale>
#include <QString>
#include <QTranslator>

#include <memory>

// The optional language module: the translation file "torv%d.qm" in the
// program folder, %d being the Windows language identifier of the user's
// interface language (1033 for en-US, 1049 for ru-RU...). When it loads,
// every text marked for translation is taken from it for the rest of the
// run; when it is missing or unusable the program's own texts stay.
class CLanguageModule {
public:
    CLanguageModule();
    ~CLanguageModule();
    CLanguageModule(const CLanguageModule&) = delete;
    CLanguageModule& operator=(const CLanguageModule&) = delete;

    // Loads the module for the locale and installs it into the application
    // (which must exist). Returns whether a module was installed; a second
    // call while one is installed does nothing.
    bool Load(const QString& programFolder, const QLocale& locale);

    bool IsLoaded() const { return m_translator != nullptr; }

    // The Windows language identifier of the locale. A territory not in the
    // table gives the language's main identifier; an unknown language 1033.
    static quint16 LanguageId(const QLocale& locale);

    // The user's interface language: the first of the system's UI languages.
    static QLocale UserLocale();

    static QString ModulePath(const QString& programFolder, quint16 languageId);

private:
    std::unique_ptr<QTranslator> m_translator;
};
