#pragma once

#include "state/Playlists.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

// The stored form of the library: compact UTF-8 JSON, one object whose members
// are the playlist names and whose values are arrays of the tracks' absolute
// URL strings, in playlist order.
namespace PlaylistCodec {

// The absolute string of a track, percent-escaped where a URL cannot hold the
// character as it is ("file:///home/learner/Unit%201.mp3").
QString trackToString(const Track& track);
// None when the text is no track. A URL is read as it is written. Failing
// that, what a person editing the file by hand may have written and cannot
// mean anything else is read too: a file URL with characters a URL cannot
// hold as they are (a space, a bare "%"), or a plain absolute path.
std::optional<Track> trackFromString(const QString& text);

QByteArray encode(const Playlists& playlists);

// The members of the top-level object of valid JSON text, in stored order,
// each name with its value's text: QJsonObject keeps only the last of members
// stored under the same name, and none of them may be lost.
std::vector<std::pair<QString, QByteArray>> topLevelMembers(const QByteArray& json);

struct Decoded {
    std::optional<Playlists> playlists;  // none when the bytes do not decode
    QString error;                      // why not, when they do not
    // Track strings that could not be read, by playlist, in stored order:
    // left out of the playlists, for the caller to keep elsewhere.
    QMap<QString, QStringList> unreadableTracks;
    // Names stored more than once (exactly, or canonically equivalent): each
    // is one playlist now, holding the tracks of all of them in order.
    QStringList joinedNames;
};
// Accepts any JSON text of the stored shape. Anything else (not JSON, a
// top-level array, a member that is not an array, an item that is not a
// string) fails as a whole. A track string that cannot be read is left out on
// its own and reported. Members under the same name are joined, none is lost.
Decoded decode(const QByteArray& bytes);

}  // namespace PlaylistCodec
