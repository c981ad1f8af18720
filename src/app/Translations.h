#pragma once

#include <QLocale>

#include <memory>

class QTranslator;

// The window in the learner's language: Rivetone's own translation for the
// locale, and Qt's (the file dialog), installed for as long as this lives.
// A locale with no translation keeps the English texts. The log lines are
// never translated: they are written as they stand in every language.
class Translations {
public:
    explicit Translations(const QLocale& locale);
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    // Whether Rivetone's own texts are translated for the locale.
    bool translatesRivetone() const { return m_own != nullptr; }

private:
    std::unique_ptr<QTranslator> m_own;
    std::unique_ptr<QTranslator> m_qt;
};
