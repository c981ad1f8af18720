#pragma once

#include <functional>

class AudioPlayer;

enum class LoopLogging { Silent, WithLogLines };

// One press of the loop key: sets the loop start at the published position,
// then the end, then clears. The window's loop-setting flag is read from
// isSettingLoop and written through setIsSettingLoop.
void cycleLoop(AudioPlayer& player, bool isSettingLoop, const std::function<void(bool)>& setIsSettingLoop,
               LoopLogging logging);
