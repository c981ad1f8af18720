#pragma once

#include "ui/kit/Symbols.h"

#include <QString>
#include <QStringList>

#include <optional>

class AudioPlayer;

// A number of seconds as the player shows it: "01:05" below an hour,
// "01:02:05" from an hour on (the hours widen past two digits), after
// truncating to whole seconds. Values that are not finite or do not fit a
// 64-bit count of seconds show as "--:--".
QString formatTime(double seconds);
// A point of a loop, to the hundredth (rounded): "00:12.34", "01:02:05.50";
// with the hours also where the other point beside it needs them
// ("00:59:59.50 – 01:00:00.75"), so that the two read alike.
QString formatTimeHundredths(double seconds, double besideSeconds = 0);
// A loop's point as short as it reads unambiguously beside the later one:
// "2.60" under a minute, "1:02.50" under an hour, "1:02:05.50" past it (both
// points in the form the later one needs). For a row short of room.
QString formatLoopPointCompact(double seconds, double laterSeconds);

// The line under the time that tells the loop and the pass: made anew only
// when what it says changes. It is asked for at every frame while playing,
// and its translations and number formatting cost more than the rest of the
// frame's text, for a line that changes a few times a loop.
class DrillLine {
public:
    const QString& of(const AudioPlayer& player);
    // Shorter forms of the last line made, for a row too narrow for it.
    const QStringList& shorterForms() const { return m_shorterForms; }
    // What the lines of one loop share (its points): the shorter form chosen
    // for one of them holds for the rest.
    const QString& family() const { return m_family; }
    // The language changed: the next call makes the line again.
    void forget() { m_said.reset(); }

private:
    // All the line reads of the player.
    struct Said {
        std::optional<double> loopStartSeconds;
        std::optional<double> loopEndSeconds;  // only with a whole loop
        int pass = 0;
        int passes = 0;
        double pauseTenthsLeft = 0;  // rounded up, as shown; 0 outside a pause
        bool operator==(const Said&) const = default;
    };
    static Said saidBy(const AudioPlayer& player);

    std::optional<Said> m_said;
    QString m_text;
    QStringList m_shorterForms;
    QString m_family;
};

// What the main window shows of the engine, derived afresh from it each time.
struct PlayerDisplay {
    // Seconds the progress bar spans when no track is loaded.
    static constexpr double progressDurationWithoutTrackSeconds = 10.0;

    QString title;                    // file name of the current track, or empty
    double progressDurationSeconds = progressDurationWithoutTrackSeconds;
    QString timeText;                 // "position / length"
    // "Loop 00:12.34 – 00:15.02 · 2 / 5", with "· pause 1.4 s" while the
    // pause after a pass runs; empty without a loop.
    QString drillText;
    QStringList drillShorterForms;  // shortest last
    QString drillFamily;
    bool isTransportEnabled = false;  // play/pause and stop: a track is loaded, or the list has one
    Symbol playPauseSymbol = Symbol::PlayFill;

    static PlayerDisplay of(const AudioPlayer& player);
    // The same, with the drill line kept from the last call while it holds.
    static PlayerDisplay of(const AudioPlayer& player, DrillLine& drillLine);

    bool operator==(const PlayerDisplay&) const = default;
};
