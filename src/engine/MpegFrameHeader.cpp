#include "engine/MpegFrameHeader.h"

std::optional<MpegFrameHeader> MpegFrameHeader::parse(const unsigned char* bytes, std::int64_t size)
{
    if (size < 4 || bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int versionBits = (bytes[1] >> 3) & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int layerBits = (bytes[1] >> 1) & 3;    // 3: layer I, 2: II, 1: III
    const int rateIndex = (bytes[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || rateIndex == 3)
        return std::nullopt;
    static constexpr int mpeg1Rates[3] = {44100, 48000, 32000};
    MpegFrameHeader header;
    header.mpeg1 = versionBits == 3;
    header.layer = 4 - layerBits;
    header.sampleRate = mpeg1Rates[rateIndex] / (header.mpeg1 ? 1 : versionBits == 2 ? 2 : 4);
    header.hasCrc = !(bytes[1] & 1);
    header.mono = ((bytes[3] >> 6) & 3) == 3;
    return header;
}
