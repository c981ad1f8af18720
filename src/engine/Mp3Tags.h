#pragma once

#include <QByteArray>

#include <cstdint>

class QIODevice;

// The tags an MP3 file carries around its frames: not audio, though their
// bytes may look like frames.
namespace Mp3Tags {

// The whole size of the ID3v2 tag whose header ("ID3"), or footer ("3DI")
// when asked for, the ten bytes are, both included; 0 when they are not one,
// or their size is not sync-safe.
std::int64_t id3v2Bytes(const QByteArray& tenBytes, bool footer = false);

// The total size of the tags after the frames: an ID3v1 tag (the last 128
// bytes), and before it APEv2 tags, Lyrics3 v2 blocks or ID3v2 tags with a
// footer, in any order. A tag counts only when it checks out (its stated
// size leads to its start mark, or an APE tag's items fill it); the first
// that does not ends the search, so a damaged size never sets aside what
// may be frames. No more than mostTrailingTags are walked: a file ending in
// thousands (made to, or damaged) would hold up its open. Moves the
// device's position.
constexpr int mostTrailingTags = 16;
std::int64_t trailingBytes(QIODevice& file);

// The total size of the ID3v2 tags before the frames. A tagger that puts its
// tag in front of an older one leaves two or more in a row, and the frames
// (with the encoder's header) start only after the last. A tag counts only
// when it ends within the file; no more than mostTrailingTags are walked.
// Moves the device's position.
std::int64_t leadingBytes(QIODevice& file);

}  // namespace Mp3Tags
