#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// Loads and installs a translation for the language; null when there is none.
std::unique_ptr<QTranslator> load(const QLocale& language, const QString& name, const QString& folder)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(language, name, QStringLiteral("_"), folder))
        return nullptr;
    QCoreApplication::installTranslator(translator.get());
    return translator;
}

}  // namespace

Translations::Translations(const QStringList& uiLanguages)
{
    // The first language of the learner's that is English (which needs no
    // file) or has a translation wins: an English desktop that lists Korean
    // after it stays English.
    for (const QString& name : uiLanguages) {
        const QLocale language(name);
        if (language.language() == QLocale::English)
            return;
        m_own = load(language, QStringLiteral("rivetone"), QStringLiteral(":/i18n"));
        if (m_own) {
            m_qt = load(language, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
            return;
        }
    }
}

Translations::~Translations()
{
    for (QTranslator* translator : {m_qt.get(), m_own.get()})
        if (translator)
            QCoreApplication::removeTranslator(translator);
}
