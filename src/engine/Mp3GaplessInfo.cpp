#include "engine/Mp3GaplessInfo.h"

#include "engine/Mp3Tags.h"
#include "engine/MpegFrameHeader.h"

#include <QBuffer>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::int64_t roomForFirstFrame = 4096;

std::uint32_t bigEndian32(const unsigned char* bytes)
{
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8)
        | std::uint32_t(bytes[3]);
}

// A layer III frame's size in bytes from its header, padding included; 0
// for a free-format or invalid bitrate.
int layer3FrameBytes(const unsigned char* header, bool mpeg1, int sampleRate)
{
    static constexpr int mpeg1Kbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static constexpr int mpeg2Kbps[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    const int kbps = (mpeg1 ? mpeg1Kbps : mpeg2Kbps)[header[2] >> 4];
    if (kbps == 0 || sampleRate <= 0)
        return 0;
    return (mpeg1 ? 144000 : 72000) * kbps / sampleRate + ((header[2] >> 1) & 1);
}

}  // namespace

std::int64_t Mp3GaplessInfo::realSampleCount() const
{
    return frameCount * samplesPerFrame - encoderDelaySamples - paddingSamples;
}

// A tagger that shrank its tag in place leaves zeros between it and the
// first frame, where no frame header can start; FFmpeg steps over them, and
// so must the header's reader, or the length keeps the encoder's padding.
std::int64_t Mp3GaplessInfo::zerosFrom(const QByteArray& bytes, std::int64_t at)
{
    const std::int64_t end = std::min<std::int64_t>(bytes.size(), at + mostZerosBeforeFirstFrame);
    while (at < end && bytes.at(at) == '\0')
        ++at;
    return at;
}

std::optional<std::int64_t> Mp3GaplessInfo::firstFrameAfterZeros(QIODevice& file)
{
    const std::int64_t tagBytes = Mp3Tags::leadingBytes(file);
    if (tagBytes == 0 || !file.seek(tagBytes))
        return std::nullopt;
    const QByteArray after = file.read(mostZerosBeforeFirstFrame + 2);
    const std::int64_t frameAt = zerosFrom(after, 0);
    if (frameAt == 0 || frameAt + 2 > after.size())
        return std::nullopt;
    const auto* sync = reinterpret_cast<const unsigned char*>(after.constData()) + frameAt;
    if (sync[0] != 0xFF || (sync[1] & 0xE0) != 0xE0)
        return std::nullopt;
    return tagBytes + frameAt;
}

std::optional<Mp3GaplessInfo> Mp3GaplessInfo::read(QIODevice& file)
{
    // (Not value_or: the tags would be walked again when zeros were found.)
    const std::optional<std::int64_t> afterZeros = firstFrameAfterZeros(file);
    const std::int64_t frameAt = afterZeros ? *afterZeros : Mp3Tags::leadingBytes(file);
    return file.seek(0) ? parse(file.read(frameAt + roomForFirstFrame)) : std::nullopt;
}

std::optional<Mp3GaplessInfo> Mp3GaplessInfo::parse(const QByteArray& fileStart)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(fileStart.constData());
    const std::int64_t size = fileStart.size();
    QBuffer start;
    start.setData(fileStart);
    start.open(QIODevice::ReadOnly);
    const std::int64_t frameOffset = zerosFrom(fileStart, Mp3Tags::leadingBytes(start));
    if (frameOffset + 4 > size)
        return std::nullopt;
    const unsigned char* headerBytes = bytes + frameOffset;
    const std::optional<MpegFrameHeader> header = MpegFrameHeader::parse(headerBytes, size - frameOffset);
    if (!header || header->layer != 3)
        return std::nullopt;
    const bool mpeg1 = header->mpeg1;
    const bool mono = header->mono;
    const bool hasCrc = header->hasCrc;

    Mp3GaplessInfo info;
    info.sampleRate = header->sampleRate;
    info.samplesPerFrame = mpeg1 ? 1152 : 576;
    info.headerFrameOffset = frameOffset;

    const int sideInfoBytes = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    std::int64_t at = frameOffset + 4 + (hasCrc ? 2 : 0) + sideInfoBytes;
    if (at + 8 > size)
        return std::nullopt;
    const std::int64_t tagAt = at;
    if (std::memcmp(bytes + at, "Xing", 4) != 0 && std::memcmp(bytes + at, "Info", 4) != 0)
        return std::nullopt;
    const std::uint32_t flags = bigEndian32(bytes + at + 4);
    at += 8;
    if (flags & 1) {
        if (at + 4 > size)
            return std::nullopt;
        info.frameCount = bigEndian32(bytes + at);
        at += 4;
    }
    if (flags & 2) {
        if (at + 4 > size)
            return std::nullopt;
        info.byteCount = bigEndian32(bytes + at);
        at += 4;
    }
    if (flags & 4)
        at += 100;  // seek table
    if (flags & 8)
        at += 4;  // quality

    // The encoder extension: a 9-byte encoder name, then delay and padding
    // as two 12-bit numbers 21 bytes in.
    if (info.frameCount <= 0 || at + 24 > size)
        return std::nullopt;
    const char* encoder = reinterpret_cast<const char*>(bytes + at);
    if (std::memcmp(encoder, "LAME", 4) != 0 && std::memcmp(encoder, "Lavf", 4) != 0
        && std::memcmp(encoder, "Lavc", 4) != 0)
        return std::nullopt;
    const unsigned char* delayAndPadding = bytes + at + 21;
    info.encoderDelaySamples = (delayAndPadding[0] << 4) | (delayAndPadding[1] >> 4);
    info.paddingSamples = ((delayAndPadding[1] & 0x0F) << 8) | delayAndPadding[2];
    if (info.realSampleCount() <= 0)
        return std::nullopt;
    if (std::memcmp(bytes + tagAt, "Info", 4) == 0) {
        const int headerFrameBytes = layer3FrameBytes(headerBytes, mpeg1, info.sampleRate);
        const std::int64_t nextAt = frameOffset + headerFrameBytes;
        if (headerFrameBytes > 0 && nextAt + 4 <= size) {
            const unsigned char* next = bytes + nextAt;
            // The same kind of frame at the same rate: the audio's first.
            if (next[0] == 0xFF && (next[1] & 0xFE) == (headerBytes[1] & 0xFE)
                && ((next[2] >> 2) & 3) == ((headerBytes[2] >> 2) & 3)) {
                const int padded = layer3FrameBytes(next, mpeg1, info.sampleRate);
                info.constantFrameBytes = padded > 0 ? padded - ((next[2] >> 1) & 1) : 0;
                info.headerFrameBytes = headerFrameBytes;
            }
        }
    }
    return info;
}
