#pragma once

#include <QString>
#include <QStringList>

// How the desktop knows Rivetone: one id names its .desktop file, its
// AppStream component and its windows (the Wayland app id), so a panel that
// finds the player on the bus finds its name and icon too. The id and the
// audio types come from the build, which also writes them into the
// installed .desktop file.
namespace DesktopEntry {

// "io.github.rivetone.Rivetone": the .desktop file is this plus ".desktop".
QString applicationId();

// The MIME types Rivetone opens: MP3 and MPEG-4 audio, with their aliases.
QStringList supportedMimeTypes();

}  // namespace DesktopEntry
