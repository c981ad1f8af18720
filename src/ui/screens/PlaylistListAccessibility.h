#pragma once

// What assistive tools make of the playlist list, whose rows are painted, not
// widgets: a list named "Playlists" whose items are its rows (each playlist,
// and the tracks of the open ones) named by playlist or file name. The row
// under the keyboard cursor is the focused item; the current playlist and the
// current track in it are the selected ones; a playlist's row says whether it
// is open. Pressing an item does what a click on it does.
namespace PlaylistListAccessibility {

// Tells Qt how to describe the list. Once is enough; more is harmless.
void install();

}  // namespace PlaylistListAccessibility
