#pragma once

#include <QStringList>

#include <memory>

class QTranslator;

// The window in the learner's language: Rivetone's own translation for the
// first of their languages (QLocale::uiLanguages, in their order of
// preference) that has one, and Qt's (the file dialog), installed for as long
// as this lives. English, or no language with a translation, keeps the
// English texts. The log lines are never translated: they are written as
// they stand in every language.
class Translations {
public:
    explicit Translations(const QStringList& uiLanguages);
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    // Whether Rivetone's own texts are translated for the locale.
    bool translatesRivetone() const { return m_own != nullptr; }

private:
    std::unique_ptr<QTranslator> m_own;
    std::unique_ptr<QTranslator> m_qt;
};
