#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// Loads a translation for the locale's languages, in the user's order of
// preference; null when there is none (English needs none).
std::unique_ptr<QTranslator> load(const QLocale& locale, const QString& name, const QString& folder)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, name, QStringLiteral("_"), folder))
        return nullptr;
    QCoreApplication::installTranslator(translator.get());
    return translator;
}

}  // namespace

Translations::Translations(const QLocale& locale)
    : m_own(load(locale, QStringLiteral("rivetone"), QStringLiteral(":/i18n")))
    , m_qt(m_own ? load(locale, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) : nullptr)
{
}

Translations::~Translations()
{
    for (QTranslator* translator : {m_qt.get(), m_own.get()})
        if (translator)
            QCoreApplication::removeTranslator(translator);
}
