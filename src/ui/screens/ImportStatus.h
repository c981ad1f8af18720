#pragma once

#include "base/DefaultsStore.h"
#include "library/FileImport.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>

// A small note in the window's bottom-left corner while files from outside
// the Add Files dialog are being added: how many audio files were found so
// far, then where they went (or that there were none), which fades after a
// few seconds. While saves fail (a full disk), it says so instead, for as
// long as they do: what was changed is kept in memory only until one works.
// Otherwise it shows nothing, and it never takes the pointer or the keys.
class ImportStatus : public QWidget {
    Q_OBJECT

public:
    // How long the last word stays.
    static constexpr int lingerMilliseconds = 4000;
    // How long an import's outcome stays at least, though the next import
    // (files handed over meanwhile, a second drop) already has news.
    static constexpr int outcomeHoldMilliseconds = 1500;
    // From the window's left and bottom edges.
    static constexpr int margin = 10;

    ImportStatus(FileImport& import, DefaultsStore& store, QWidget* window);

    QString text() const { return m_text; }
    // The text as drawn: cut short at the end when the room is too narrow.
    QString shownText() const;
    // The note stays left of this x in the window (the playlists' column).
    void setRightEdge(int x);
    // The texts shown, also for tests.
    static QString searchingText(int filesFound);
    static QString outcomeText(const FileImport::Outcome& outcome);
    // The note for a failed save: the settings store's reason, without the
    // settings file's path (at settingsPath) it starts with, in the window's
    // language.
    static QString saveProblemText(const QString& error, const QString& settingsPath);

    // The text's colour: grey, as readable as every other grey text.
    static QColor textColour();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(const QString& text);
    void showOutcome(const QString& text);
    void showSearching(const QString& text);
    // What shows when no import has anything to say.
    void showAtRest();
    void place();
    QRectF textRect() const;

    QString m_text;
    QFont m_font;
    int m_rightEdge = -1;  // none: the window's own
    QTimer m_linger;
    QTimer m_hold;  // an outcome is up for its least time
    // What came while it was: every outcome, in turn, then the latest search
    // (of a look that has not ended since).
    QStringList m_pendingOutcomes;
    QString m_pendingSearch;
    bool m_importSays = false;  // an import's note is up, or lingers
    QString m_saveProblem;      // why saves fail; empty while they work
};
