#pragma once

#include "state/Playlists.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The stored form of the library: compact UTF-8 JSON, one object whose members
// are the playlist names and whose values are arrays of the tracks' absolute
// URL strings, in playlist order.
namespace PlaylistCodec {

// The absolute string of a track, percent-escaped where a URL cannot hold the
// character as it is ("file:///home/learner/Unit%201.mp3").
QString trackToString(const Track& track);
// None when the text is not a URL. Strict: characters a URL cannot hold as
// they are (a space, a bare "%", a backslash) make the text no URL at all.
std::optional<Track> trackFromString(const QString& text);

QByteArray encode(const Playlists& playlists);

struct Decoded {
    std::optional<Playlists> playlists;  // none when the bytes do not decode
    QString error;                      // why not, when they do not
};
// Accepts any JSON text of the stored shape. Anything else (not JSON, a
// top-level array, a member that is not an array, an item that is not a
// string) fails as a whole. A track string that is not a URL is left out on
// its own. Members whose names are canonically equivalent are one playlist:
// their tracks are joined, none is lost.
Decoded decode(const QByteArray& bytes);

}  // namespace PlaylistCodec
