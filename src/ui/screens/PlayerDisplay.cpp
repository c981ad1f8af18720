#include "ui/screens/PlayerDisplay.h"

#include "engine/AudioPlayer.h"
#include "ui/kit/TextLine.h"

#include <QCoreApplication>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

namespace {

// "[h:]mm:ss[.cc]" with each field at least two digits wide, as printf's
// "%02lld" writes them. Built by hand: this runs at every frame while
// playing, and the printf route costs several times as much.
QString clockText(std::optional<long long> hours, long long minutes, long long seconds,
                  std::optional<long long> hundredths)
{
    char buffer[96];
    char* at = buffer;
    char* const end = buffer + sizeof buffer;
    const auto put = [&](long long value) {
        if (value >= 0 && value < 10)
            *at++ = '0';
        at = std::to_chars(at, end, value).ptr;
    };
    if (hours) {
        put(*hours);
        *at++ = ':';
    }
    put(minutes);
    *at++ = ':';
    put(seconds);
    if (hundredths) {
        *at++ = '.';
        put(*hundredths);
    }
    return QString::fromLatin1(buffer, at - buffer);
}

// A count of hundredths as "mm:ss.cc", or "hh:mm:ss.cc" with the hours.
QString hundredthsClock(long long hundredths, bool withHours)
{
    const long long s = hundredths / 100;
    const long long fraction = std::llabs(hundredths % 100);
    if (!withHours)
        return clockText(std::nullopt, (s % 3600) / 60, s % 60, fraction);
    return clockText(s / 3600, (s % 3600) / 60, s % 60, fraction);
}

}  // namespace

QString formatTime(double seconds)
{
    // 2^63 is exactly representable; anything from there on (or not a
    // number at all) has no whole-second count to show.
    constexpr double limit = 9223372036854775808.0;
    if (!(seconds > -limit && seconds < limit))
        return QStringLiteral("--:--");
    const auto s = static_cast<long long>(seconds);  // truncates toward zero
    if (s < 3600)
        return clockText(std::nullopt, (s % 3600) / 60, s % 60, std::nullopt);
    return clockText(s / 3600, (s % 3600) / 60, s % 60, std::nullopt);
}

QString formatTimeHundredths(double seconds, double besideSeconds)
{
    constexpr double limit = 9223372036854775808.0 / 100;
    if (!(seconds > -limit && seconds < limit))
        return QStringLiteral("--:--.--");
    const long long hundredths = std::llround(seconds * 100);
    const bool besideHasHours = besideSeconds > -limit && besideSeconds < limit && std::llround(besideSeconds * 100) / 100 >= 3600;
    return hundredthsClock(hundredths, hundredths / 100 >= 3600 || besideHasHours);
}

QString formatLoopPointCompact(double seconds, double laterSeconds)
{
    const long long hundredths = std::llround(seconds * 100);
    const long long laterWholeSeconds = std::llround(laterSeconds * 100) / 100;
    if (laterWholeSeconds < 60)
        return QString::number(hundredths / 100) + u'.' + QString::number(std::llabs(hundredths % 100)).rightJustified(2, u'0');
    const QString clock = hundredthsClock(hundredths, laterWholeSeconds >= 3600);
    return clock.startsWith(u'0') ? clock.mid(1) : clock;
}

DrillLine::Said DrillLine::saidBy(const AudioPlayer& player)
{
    Said said;
    said.loopStartSeconds = player.loopStart();
    if (!said.loopStartSeconds || !player.hasLoop())
        return said;
    said.loopEndSeconds = player.loopEnd();
    said.pass = player.loopPass();
    if (said.pass > 0)
        said.passes = player.drill().passes;
    if (said.passes > 0)
        said.pass = std::min(said.pass, said.passes);  // fewer chosen mid-pass: this one is the last
    // Paused in a pause between passes, play resumes with what follows it
    // at once: a countdown would stand still for nothing.
    if (player.isPlaying() && player.passPauseSecondsLeft() > 0)
        said.pauseTenthsLeft = std::ceil(player.passPauseSecondsLeft() * 10);
    return said;
}

const QString& DrillLine::of(const AudioPlayer& player)
{
    Said said = saidBy(player);
    if (m_said == said)
        return m_text;
    m_said = said;
    m_text.clear();
    m_shorterForms.clear();
    m_family.clear();
    if (!said.loopStartSeconds)
        return m_text;
    m_text = QCoreApplication::translate("PlayerDisplay", "Loop %1 – ").arg(formatTimeHundredths(*said.loopStartSeconds));
    if (!said.loopEndSeconds)
        return m_text;
    const QString startText = formatTimeHundredths(*said.loopStartSeconds, *said.loopEndSeconds);
    const QString endText = formatTimeHundredths(*said.loopEndSeconds, *said.loopStartSeconds);
    m_text = QCoreApplication::translate("PlayerDisplay", "Loop %1 – ").arg(startText);
    const QString points = startText + QStringLiteral(" – ") + endText;
    m_family = points;
    QStringList drill;
    if (said.pass > 0)
        drill << QString::number(said.pass) + QStringLiteral(" / ")
                + (said.passes > 0 ? QString::number(said.passes) : QStringLiteral("∞"));
    const QString pauseLeft = QString::number(said.pauseTenthsLeft / 10, 'f', 1);
    if (said.pauseTenthsLeft > 0)
        drill << QCoreApplication::translate("PlayerDisplay", "pause %1 s").arg(pauseLeft);
    m_text += endText;
    for (const QString& part : drill)
        m_text += QStringLiteral(" · ") + part;
    // Short of room, the word goes first, then the points' leading zeros,
    // then the points, which the bar's marks show too: the pass and the
    // pause are shown nowhere else.
    m_shorterForms << QStringList(QStringList{points} + drill).join(QStringLiteral(" · "));
    if (*said.loopStartSeconds >= 0 && *said.loopEndSeconds < 1e9) {  // (a negative or huge point: no such form)
        const QString compact = formatLoopPointCompact(*said.loopStartSeconds, *said.loopEndSeconds) + QStringLiteral(" – ")
            + formatLoopPointCompact(*said.loopEndSeconds, *said.loopEndSeconds);
        if (compact != points)
            m_shorterForms << QStringList(QStringList{compact} + drill).join(QStringLiteral(" · "));
    }
    if (!drill.isEmpty())
        m_shorterForms << drill.join(QStringLiteral(" · "));
    // Shortest of all, the window at its least width: the countdown without
    // its word (it counts down where the pass was just shown).
    if (said.pauseTenthsLeft > 0)
        m_shorterForms << QStringList(drill.mid(0, drill.size() - 1)
                                      << QCoreApplication::translate("PlayerDisplay", "%1 s").arg(pauseLeft))
                              .join(QStringLiteral(" · "));
    return m_text;
}

PlayerDisplay PlayerDisplay::of(const AudioPlayer& player)
{
    DrillLine drillLine;
    return of(player, drillLine);
}

PlayerDisplay PlayerDisplay::of(const AudioPlayer& player, DrillLine& drillLine)
{
    PlayerDisplay display;
    const FilePlayer* loaded = player.player();
    if (player.currentTrack())
        display.title = onOneLine(player.currentTrack()->fileName());
    if (loaded)
        display.progressDurationSeconds = loaded->duration();
    display.timeText = formatTime(player.currentTime()) + QStringLiteral(" / ") +
                       formatTime(loaded ? loaded->duration() : 0.0);
    // A loaded track can be played and stopped whatever list is shown.
    display.isTransportEnabled = !player.playlist().isEmpty() || loaded;
    display.playPauseSymbol = player.isPlaying() ? Symbol::PauseFill : Symbol::PlayFill;
    display.drillText = drillLine.of(player);
    display.drillShorterForms = drillLine.shorterForms();
    display.drillFamily = drillLine.family();
    return display;
}
