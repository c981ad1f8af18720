#pragma once

#include <QByteArray>

class QIODevice;

#include <cstdint>
#include <optional>

// What the "Xing"/"Info" header of an MP3 says about the real audio: encoders
// put silence before the first sample (encoder delay) and after the last one
// (padding), and only this header tells how much.
struct Mp3GaplessInfo {
    std::int64_t frameCount = 0;       // audio frames after the header frame
    std::int64_t byteCount = 0;        // bytes from the header frame on; 0 when absent
    int samplesPerFrame = 0;
    int sampleRate = 0;
    int encoderDelaySamples = 0;
    int paddingSamples = 0;
    std::int64_t headerFrameOffset = 0;  // file offset of the header frame
    // An "Info" header's constant bitrate: the size of the audio's frames
    // (a padding byte aside), read from the first frame after the header's
    // own, which an encoder may write at another bitrate. 0: not known.
    int constantFrameBytes = 0;
    int headerFrameBytes = 0;  // with constantFrameBytes: the header's own frame

    // Real samples: everything decoded minus encoder delay and padding.
    std::int64_t realSampleCount() const;

    // Reads the header from the first bytes of a file (ID3v2 tags and zeros
    // after them included; 4 KiB past them is plenty). Null when the file has no such header or
    // the header carries no delay and padding.
    static std::optional<Mp3GaplessInfo> parse(const QByteArray& fileStart);
    // parse() on as much of the file's start as it needs: the tags, then
    // room for the first frame. Moves the device's position.
    static std::optional<Mp3GaplessInfo> read(QIODevice& file);
    // Where the first frame starts when zeros lie between the leading tags
    // and it (a tagger shrank its tag in place); none when they do not.
    // FFmpeg looks for the header only right after the tags, and decodes
    // the encoder's delay as audio.
    static std::optional<std::int64_t> firstFrameAfterZeros(QIODevice& file);

private:
    // Zeros after the tags skipped on the way to the first frame, at most.
    static constexpr std::int64_t mostZerosBeforeFirstFrame = 64 * 1024;
    static std::int64_t zerosFrom(const QByteArray& bytes, std::int64_t at);
};
