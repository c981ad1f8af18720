#include "engine/LoopControl.h"

#include "base/Log.h"
#include "engine/AudioPlayer.h"

#include <algorithm>
#include <cmath>
#include <optional>

void cycleLoop(AudioPlayer& player, bool isSettingLoop, const std::function<void(bool)>& setIsSettingLoop,
               LoopLogging logging)
{
    const bool withLog = logging == LoopLogging::WithLogLines;
    // The published position, at most one tick old: what the user saw when pressing.
    const double position = player.currentTime();

    if (!isSettingLoop) {
        player.setLoopStart(position);
        setIsSettingLoop(true);
        if (withLog)
            Log::line(QStringLiteral("Loop start set to ") + Log::formatDouble(position));
        return;
    }

    if (player.loopStart() && !player.loopEnd()) {
        // The end must lie after the start; otherwise this press does nothing
        // and the next one tries again.
        if (!(*player.loopStart() < position))
            return;
        player.setLoopEnd(position);
        if (withLog)
            Log::line(QStringLiteral("Loop end set to ") + Log::formatDouble(position));
        return;
    }

    player.setLoopStart(std::nullopt);
    player.setLoopEnd(std::nullopt);
    setIsSettingLoop(false);
    if (withLog)
        Log::line(QStringLiteral("Loop cleared"));
}

namespace LoopEdit {
namespace {

// The track's length, or none without a track.
std::optional<double> trackLength(const AudioPlayer& player)
{
    return player.player() ? std::optional<double>(player.player()->duration()) : std::nullopt;
}

double toMillisecond(double seconds)
{
    return std::round(seconds * 1000) / 1000;
}

// A limit that keeps a loop at least shortestLoopSeconds long, to the
// millisecond on its own side: rounded to the nearest, a start's limit
// before an end off the millisecond grid (the track's end) could round past
// it. The tolerance keeps a limit that is on the grid where it is.
double millisecondAtOrBefore(double seconds)
{
    return std::floor(seconds * 1000 + 1e-6) / 1000;
}

double millisecondAtOrAfter(double seconds)
{
    return std::ceil(seconds * 1000 - 1e-6) / 1000;
}

bool refused(LoopEdit::Refusal refusal, const QString& line)
{
    LoopEdit::say(refusal, line);
    return false;
}

QString atItsLimit(const QString& point, double seconds)
{
    return QStringLiteral("%1 not moved: %2 is as far as it goes").arg(point, Log::formatDouble(seconds));
}

}  // namespace

void say(Refusal refusal, const QString& line)
{
    if (refusal == Refusal::Said)
        Log::line(line);
}

bool setStartHere(AudioPlayer& player, const std::function<void(bool)>& setIsSettingLoop)
{
    // With no track, a point would only mark the loop key's phase: the
    // first press on the track chosen next would then clear, not start.
    if (!player.player()) {
        Log::line(QStringLiteral("Loop start not set: no track is loaded"));
        return false;
    }
    const double position = player.currentTime();
    if (player.loopEnd() && !(position < *player.loopEnd())) {
        Log::line(QStringLiteral("Loop start not set: ") + Log::formatDouble(position)
                  + QStringLiteral(" is not before the loop end"));
        return false;
    }
    // A start with no room after it for an end would refuse every end, and
    // the loop key, finding a start and no end, could not clear it either.
    if (const std::optional<double> length = trackLength(player);
        !player.loopEnd() && length && position > *length - shortestLoopSeconds) {
        Log::line(QStringLiteral("Loop start not set: ") + Log::formatDouble(position)
                  + QStringLiteral(" is too near the track's end"));
        return false;
    }
    player.setLoopStart(position);
    setIsSettingLoop(true);
    Log::line(QStringLiteral("Loop start set to ") + Log::formatDouble(position));
    return true;
}

bool setEndHere(AudioPlayer& player, const std::function<void(bool)>& setIsSettingLoop)
{
    if (!player.player()) {
        Log::line(QStringLiteral("Loop end not set: no track is loaded"));
        return false;
    }
    const double position = player.currentTime();
    if (!player.loopStart()) {
        if (!(position > 0)) {
            Log::line(QStringLiteral("Loop end not set: nothing has played yet"));
            return false;
        }
        player.setLoopStart(0.0);
        Log::line(QStringLiteral("Loop start set to ") + Log::formatDouble(0.0));
    } else if (!(*player.loopStart() < position)) {
        Log::line(QStringLiteral("Loop end not set: ") + Log::formatDouble(position)
                  + QStringLiteral(" is not after the loop start"));
        return false;
    }
    player.setLoopEnd(position);
    setIsSettingLoop(true);
    Log::line(QStringLiteral("Loop end set to ") + Log::formatDouble(position));
    return true;
}

bool nudgeStart(AudioPlayer& player, double deltaSeconds, Refusal refusal)
{
    if (!player.loopStart())
        return refused(refusal, QStringLiteral("Loop start not moved: no loop is set"));
    double moved = std::max(0.0, toMillisecond(*player.loopStart() + deltaSeconds));
    // Room is left for an end after it: a start at the track's last frame
    // would have every end refused until it was moved back.
    if (const std::optional<double> length = trackLength(player))
        moved = std::min(moved, millisecondAtOrBefore(*length - shortestLoopSeconds));
    if (player.loopEnd())
        moved = std::min(moved, millisecondAtOrBefore(*player.loopEnd() - shortestLoopSeconds));
    // A loop already shorter than the shortest (set by two quick presses)
    // would be pushed the other way: refused instead.
    const bool asAsked = deltaSeconds > 0 ? moved > *player.loopStart() : moved < *player.loopStart();
    if (!asAsked || moved < 0)
        return refused(refusal, atItsLimit(QStringLiteral("Loop start"), *player.loopStart()));
    player.setLoopStart(moved);
    Log::line(QStringLiteral("Loop start moved to ") + Log::formatDouble(moved));
    return true;
}

bool nudgeEnd(AudioPlayer& player, double deltaSeconds, Refusal refusal)
{
    if (!player.loopEnd() || !player.loopStart())
        return refused(refusal, QStringLiteral("Loop end not moved: no loop end is set"));
    double moved = toMillisecond(*player.loopEnd() + deltaSeconds);
    const double shortestEnd = millisecondAtOrAfter(*player.loopStart() + shortestLoopSeconds);
    moved = std::max(moved, shortestEnd);
    // The track's end last: a loop too short already, at the very end (one
    // recalled on a file that got shorter), is not lengthened past it.
    if (const std::optional<double> length = trackLength(player))
        moved = std::min(moved, *length);
    const bool asAsked = deltaSeconds > 0 ? moved > *player.loopEnd() : moved < *player.loopEnd();
    // Held to the loop's shortest itself, not to the millisecond after it:
    // the track may end between the two.
    if (!asAsked || moved < *player.loopStart() + shortestLoopSeconds - 1e-9)
        return refused(refusal, atItsLimit(QStringLiteral("Loop end"), *player.loopEnd()));
    player.setLoopEnd(moved);
    Log::line(QStringLiteral("Loop end moved to ") + Log::formatDouble(moved));
    return true;
}

}  // namespace LoopEdit
