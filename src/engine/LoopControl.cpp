#include "engine/LoopControl.h"

#include "base/Log.h"
#include "engine/AudioPlayer.h"

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
