#include "engine/Mp3Tags.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>

namespace {

// Whether an APEv2 tag's items, as read, fill exactly the bytes its footer
// says they take: a tag without a header has nothing else to check its size by.
bool apeItemsFill(const QByteArray& items, quint32 count, std::int64_t bytes)
{
    if (items.size() != bytes)
        return false;
    std::int64_t at = 0;
    for (quint32 item = 0; item < count; ++item) {
        if (at + 8 > bytes)
            return false;
        const auto valueBytes = std::int64_t(qFromLittleEndian<quint32>(items.constData() + at));
        const qsizetype keyEnd = items.indexOf('\0', qsizetype(at + 8));
        if (keyEnd < 0)
            return false;
        at = keyEnd + 1 + valueBytes;
    }
    return at == bytes;
}

}  // namespace

namespace Mp3Tags {

std::int64_t id3v2Bytes(const QByteArray& tenBytes, bool footer)
{
    if (tenBytes.size() < 10 || !tenBytes.startsWith(footer ? "3DI" : "ID3"))
        return 0;
    std::int64_t body = 0;
    for (int i = 6; i < 10; ++i) {
        const auto byte = std::uint8_t(tenBytes[i]);
        if (byte & 0x80)
            return 0;  // not a sync-safe size: not a tag
        body = body << 7 | byte;
    }
    const bool hasFooter = footer || (std::uint8_t(tenBytes[5]) & 0x10);
    return 10 + body + (hasFooter ? 10 : 0);
}

std::int64_t trailingBytes(QIODevice& file)
{
    const std::int64_t size = file.size();
    const auto bytesAt = [&file](std::int64_t at, int count) {
        return at >= 0 && file.seek(at) ? file.read(count) : QByteArray();
    };
    std::int64_t end = size;
    if (bytesAt(end - 128, 3) == "TAG")
        end -= 128;
    for (int tags = 0; tags < mostTrailingTags; ++tags) {
        const QByteArray lyrics = bytesAt(end - 15, 15);  // six digits of size, then "LYRICS200"
        bool sized = false;
        const std::int64_t lyricsBytes = lyrics.left(6).toLongLong(&sized);
        if (lyrics.endsWith("LYRICS200") && sized && lyricsBytes >= 11
            && bytesAt(end - 15 - lyricsBytes, 11) == "LYRICSBEGIN") {
            end -= lyricsBytes + 15;
            continue;
        }
        const QByteArray ape = bytesAt(end - 32, 32);  // its footer
        if (ape.size() == 32 && ape.startsWith("APETAGEX")) {
            const auto tagBytes = std::int64_t(qFromLittleEndian<quint32>(ape.constData() + 12));  // items and footer
            const bool hasHeader = qFromLittleEndian<quint32>(ape.constData() + 20) & 0x8000'0000u;
            const std::int64_t start = end - tagBytes - (hasHeader ? 32 : 0);
            const auto itemCount = qFromLittleEndian<quint32>(ape.constData() + 16);
            if (tagBytes >= 32 && start >= 0
                && (hasHeader ? bytesAt(start, 8) == "APETAGEX"
                              : apeItemsFill(bytesAt(end - tagBytes, int(std::min<std::int64_t>(tagBytes - 32, 1 << 24))),
                                             itemCount, tagBytes - 32))) {
                end = start;
                continue;
            }
        }
        const std::int64_t id3 = id3v2Bytes(bytesAt(end - 10, 10), true);
        if (id3 > 0 && bytesAt(end - id3, 3) == "ID3") {
            end -= id3;
            continue;
        }
        break;
    }
    return size - end;
}

std::int64_t leadingBytes(QIODevice& file)
{
    const std::int64_t size = file.size();
    std::int64_t start = 0;
    for (int tags = 0; tags < mostTrailingTags && file.seek(start); ++tags) {
        const std::int64_t tagBytes = id3v2Bytes(file.read(10));
        if (tagBytes == 0 || start + tagBytes > size)
            break;
        start += tagBytes;
    }
    return start;
}

}  // namespace Mp3Tags
