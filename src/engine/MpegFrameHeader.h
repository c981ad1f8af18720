#pragma once

#include <cstdint>
#include <optional>

// The four bytes in front of every MPEG audio frame, as far as we read them.
struct MpegFrameHeader {
    bool mpeg1 = false;  // MPEG-1; otherwise MPEG-2 or 2.5 (half the samples per layer III frame)
    int layer = 0;       // 1 to 3
    int sampleRate = 0;
    bool hasCrc = false;
    bool mono = false;

    // Null when the bytes start no frame: no sync, or a reserved version,
    // layer or rate.
    static std::optional<MpegFrameHeader> parse(const unsigned char* bytes, std::int64_t size);
};
