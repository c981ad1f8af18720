#pragma once

class QKeyEvent;

// Tells a held key's repeated presses from new ones. On X11, Qt marks a
// repeat (QKeyEvent::isAutoRepeat) only when, handling the release that X
// sends before each repeated press, it finds that press already queued: a
// race the press often loses, and then both come as a plain release and a
// plain press. X gives a repeat's release and press one time stamp, which a
// key let go and pressed again by hand never shares: with the releases
// watched application-wide, those are known too.
namespace KeyRepeats {

// Starts watching the application's key releases (once; later calls do
// nothing). Needs the application object.
void watch();

// Whether press is a held key's repeat.
bool isRepeat(const QKeyEvent& press);

}  // namespace KeyRepeats
