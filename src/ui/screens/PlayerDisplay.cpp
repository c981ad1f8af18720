#include "ui/screens/PlayerDisplay.h"

#include "engine/AudioPlayer.h"

#include <cmath>
#include <cstdint>

QString formatTime(double seconds)
{
    // 2^63 is exactly representable; anything from there on (or not a
    // number at all) has no whole-second count to show.
    constexpr double limit = 9223372036854775808.0;
    if (!(seconds > -limit && seconds < limit))
        return QStringLiteral("--:--");
    const auto s = static_cast<long long>(seconds);  // truncates toward zero
    if (s < 3600)
        return QString::asprintf("%02lld:%02lld", (s % 3600) / 60, s % 60);
    return QString::asprintf("%02lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
}

PlayerDisplay PlayerDisplay::of(const AudioPlayer& player)
{
    PlayerDisplay display;
    const FilePlayer* loaded = player.player();
    if (player.currentTrack())
        display.title = player.currentTrack()->fileName();
    if (loaded)
        display.progressDurationSeconds = loaded->duration();
    display.timeText = formatTime(player.currentTime()) + QStringLiteral(" / ") +
                       formatTime(loaded ? loaded->duration() : 0.0);
    display.isTransportEnabled = !player.playlist().isEmpty();
    display.playPauseSymbol = player.isPlaying() ? Symbol::PauseFill : Symbol::PlayFill;
    return display;
}
