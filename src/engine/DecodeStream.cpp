#include "engine/DecodeStream.h"

#include "engine/Mp3GaplessInfo.h"
#include "engine/MpegFrameHeader.h"
#include "engine/Mp3Tags.h"
#include "engine/SampleGuard.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStringList>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <numeric>

namespace Ffmpeg {

QString errorText(int errorCode)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(errorCode, text, sizeof text);
    return QString::fromUtf8(text);
}

}  // namespace Ffmpeg

namespace {

// Set by tests only (failReadsAfterPacketsForTesting).
std::atomic<std::int64_t> failingReadAfterPackets{0};
std::atomic<int> failingReadCode{0};
// Set by tests only (giveUpCountingForTesting).
std::atomic<bool> countingGivesUp{false};
// Set by tests only (stallReadsForTesting); the rest guarded by the mutex.
std::atomic<bool> readsStall{false};
std::atomic<std::uint64_t> streamsOpened{0};
struct ReadStall {
    std::mutex mutex;
    std::condition_variable cleared;
    std::uint64_t streamsStalled = 0;  // those opened up to this one
    int waiting = 0;
};
ReadStall& readStall()
{
    static ReadStall stall;
    return stall;
}
void waitOutReadStall(std::uint64_t streamSerial)
{
    ReadStall& stall = readStall();
    std::unique_lock lock(stall.mutex);
    if (streamSerial > stall.streamsStalled)
        return;
    ++stall.waiting;
    stall.cleared.wait(lock, [] { return !readsStall.load(); });
    --stall.waiting;
}

// MP3 decoders output their first real sample this many samples late, on top
// of the encoder delay the header states.
constexpr int mp3DecoderDelay = 529;
// Bytes past those an MP3's header speaks for, tags aside, that are not yet
// another file: less than half a second of the leanest speech.
constexpr std::int64_t joinedSlackBytes = 1024;
// What one MP3 frame can take, over all versions and bitrates (8 kbit/s at
// 24 kHz; 320 kbit/s at 32 kHz, padded).
constexpr std::int64_t smallestMp3FrameBytes = 24;
constexpr std::int64_t largestMp3FrameBytes = 1441;
// An estimated length is counted packet by packet within this time (an
// hour-long MP3 takes a fraction of it); past it, the estimate stands.
constexpr auto sampleCountTime = std::chrono::milliseconds(1500);
// Frames decoded before a seek target so that the decoder's state is the one
// a straight decode would have there: every codec overlaps with the previous
// frame, and an MP3 frame may draw on bits stored in the frames before it
// (mp3PrerollPackets).
constexpr int leastMp3PrerollPackets = 12;
// Data that runs out this close to the stated length (a download cut short
// by a few hundred bytes, a length a frame too long) is made up to it with
// silence: the stream ends where it says, so a loop that ends there turns.
constexpr int shortEndPaddingDivisor = 10;  // a tenth of a second
constexpr int aacPrerollFrames = 3 * 1024;
constexpr int otherPrerollFrames = 8192;
// Frames whose times are this close follow one another: a frame of a later
// part at another sample rate lands on the file's rate a sample off either way.
constexpr std::int64_t followOnToleranceFrames = 2;
// Packets at the very start that make no sound, past which the data is taken
// for something other than audio. Sound's first packet decodes; data met by
// chance as frames (a font named .mp3) rarely has its first few in a row.
constexpr std::int64_t damagedPacketsAtTheStart = 4;
// The silence standing in for a stretch the decoder could not make is fed a
// piece at a time, so a long one never sits in memory whole.
constexpr std::int64_t silencePieceFrames = 8192;
// Input frames fed to the resampler before a seek target, well over the
// reach of its filter even when it downsamples by a large factor.
constexpr int resamplerPrerollFrames = 256;

// Timestamps and lengths come from the file, and a damaged file may set them
// to anything. Beyond this many frames (some 3000 years at 44.1 kHz) they are
// damage, not audio; within it, no sum of them here can overflow.
constexpr std::int64_t plausibleFrames = std::int64_t(1) << 52;
// Slower than this, a sample rate is damage too: nothing is recorded so, and
// every input frame would grow by the ratio to the output rate on its way
// through the resampler (1 Hz to 96 kHz turns one frame into gigabytes).
constexpr int lowestInputRate = 4000;
// Faster than this is damage as well: nothing records above 768 kHz (the
// formats played here stop at 384 kHz), and a header that says so is not to
// be trusted with the resampler's filter, whose length grows with the ratio.
constexpr int highestInputRate = 768000;

bool isPlausibleRate(int rate)
{
    return rate >= lowestInputRate && rate <= highestInputRate;
}

bool isPlausible(std::int64_t frames)
{
    return frames > -plausibleFrames && frames < plausibleFrames;
}

int frameSizeOf(const AVStream& stream)
{
    return stream.codecpar->frame_size > 0 ? stream.codecpar->frame_size : 1024;
}

// The real samples an iTunes gapless tag states ("iTunSMPB": hex words for a
// reserved field, the priming, the padding and the count); none without one.
std::optional<std::int64_t> itunesStatedSamples(const AVFormatContext& format)
{
    const AVDictionaryEntry* tag = av_dict_get(format.metadata, "iTunSMPB", nullptr, 0);
    if (!tag || !tag->value)
        return std::nullopt;
    const QStringList words = QString::fromLatin1(tag->value).split(u' ', Qt::SkipEmptyParts);
    bool ok = false;
    const qulonglong samples = words.size() >= 4 ? words[3].toULongLong(&ok, 16) : 0;
    if (!ok || samples == 0 || samples >= qulonglong(plausibleFrames))
        return std::nullopt;
    return std::int64_t(samples);
}

std::int64_t ceilDivide(std::int64_t value, std::int64_t divisor)
{
    return value >= 0 ? (value + divisor - 1) / divisor : -((-value) / divisor);
}

// MP3 frames before a seek target that hold what a frame there may draw on.
// A frame's main data may begin up to 511 bytes (MPEG-1) or 255 bytes (MPEG-2
// and 2.5) back, in the frames before it, and a frame at the leanest bitrate
// holds only a few bytes of it: a stereo 8 kbit/s frame at 24 kHz, 3. Such
// frames are what a VBR encoder writes for the pauses in speech, so the phrase
// after a pause may need two seconds of them (at 22.05 kHz it lost its first
// 60 ms when only twelve were decoded). Two frames more: the overlap with
// the frame before, and one to spare.
int mp3PrerollPackets(int sampleRate, int channels)
{
    const bool mpeg1 = sampleRate >= 32000;
    const int leanestFrameBytes = mpeg1 ? 144 * 32000 / sampleRate : 72 * 8000 / std::max(sampleRate, 1);
    const int sideInfoBytes = mpeg1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
    const int mainDataBytes = std::max(1, leanestFrameBytes - 4 - sideInfoBytes);
    const int reachBytes = mpeg1 ? 511 : 255;
    return std::max(leastMp3PrerollPackets, int(ceilDivide(reachBytes, mainDataBytes)) + 2);
}

bool startsWithId3v2Tag(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && Mp3Tags::id3v2Bytes(file.read(10)) > 0;
}

std::optional<std::int64_t> firstMp3FrameAfterZeros(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? Mp3GaplessInfo::firstFrameAfterZeros(file) : std::nullopt;
}

std::int64_t skipSamplesOf(const AVPacket& packet)
{
    size_t size = 0;
    const uint8_t* data = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (!data || size < 4)
        return 0;
    return std::int64_t(data[0]) | (std::int64_t(data[1]) << 8) | (std::int64_t(data[2]) << 16)
        | (std::int64_t(data[3]) << 24);
}

std::optional<Mp3GaplessInfo> readMp3GaplessInfo(const QString& path, std::int64_t* fileSize, std::int64_t* tagBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    *fileSize = file.size();
    *tagBytes = Mp3Tags::trailingBytes(file);
    return Mp3GaplessInfo::read(file);
}

}  // namespace

DecodeStream::~DecodeStream() = default;

void DecodeStream::failReadsAfterPacketsForTesting(std::int64_t packets, int code)
{
    failingReadCode = code;
    failingReadAfterPackets = packets;
}

void DecodeStream::giveUpCountingForTesting(bool giveUp)
{
    countingGivesUp = giveUp;
}

void DecodeStream::stallReadsForTesting(bool stall, bool opensToo)
{
    {
        std::lock_guard lock(readStall().mutex);
        readsStall = stall;
        readStall().streamsStalled = opensToo ? UINT64_MAX : streamsOpened.load();
    }
    readStall().cleared.notify_all();
}

int DecodeStream::stalledReadsForTesting()
{
    std::lock_guard lock(readStall().mutex);
    return readStall().waiting;
}

std::unique_ptr<DecodeStream> DecodeStream::open(const QString& path, int outputRate, QString* error)
{
    // FFmpeg's own chatter on stderr ("misdetection possible!") is not for
    // users; what matters reaches them as the load error.
    static std::once_flag quietLibraries;
    std::call_once(quietLibraries, [] {
        av_log_set_level(AV_LOG_QUIET);
        // A few hundred bytes of a damaged MP4 can claim tables that make the
        // demuxer ask for (and fill) gigabytes. The index of a 40-hour
        // audiobook fits well within this; a file asking for more fails to load.
        av_max_alloc(largestAllocationBytes);
    });
    // A track is a regular file at an absolute path, nothing else: a FIFO or a
    // device would block the open for good, or feed it without end.
    const QFileInfo file(path);
    const QString refusal = !file.isAbsolute() ? QStringLiteral("not an absolute path")
        : !file.exists()                       ? Ffmpeg::errorText(AVERROR(ENOENT))
        : file.isDir()                         ? Ffmpeg::errorText(AVERROR(EISDIR))
        : !file.isFile()                       ? QStringLiteral("not a regular file")
                                               : QString();
    if (!refusal.isEmpty()) {
        if (error)
            *error = path + QStringLiteral(": ") + refusal;
        return nullptr;
    }
    std::unique_ptr<DecodeStream> stream(new DecodeStream);
    stream->m_serial = ++streamsOpened;
    if (readsStall.load(std::memory_order_relaxed))
        waitOutReadStall(stream->m_serial);
    stream->m_outputRate = outputRate;
    // Opening runs on the caller's thread, which waits: it gets a deadline.
    stream->m_deadline = std::chrono::steady_clock::now() + openDeadline;
    if (!stream->openFile(path, error))
        return nullptr;
    // Decode the beginning now: a file that opens but holds no decodable
    // audio (cut short, or not audio at all) fails here, not later in silence.
    stream->seek(0);
    float probe[2 * 64];
    const int probed = stream->read(probe, 64);
    const bool late = stream->m_deadline && std::chrono::steady_clock::now() > *stream->m_deadline;
    stream->m_deadline.reset();
    // Data that is not audio can still hold what passes for a frame here and
    // there; sound's first packets decode.
    if (probed == 0 || stream->m_packetsBeforeFirstFrame > damagedPacketsAtTheStart) {
        if (error)
            *error = path + QStringLiteral(": ") + (late ? tooLongText() : Ffmpeg::errorText(AVERROR_INVALIDDATA));
        return nullptr;
    }
    stream->seek(0);
    return stream;
}

QString DecodeStream::tooLongText()
{
    return QStringLiteral("it did not open within %1 s").arg(std::chrono::duration<double>(openDeadline).count());
}

// FFmpeg asks this while it waits on the file; true ends the wait.
int DecodeStream::interrupted(void* opaque)
{
    const auto* stream = static_cast<const DecodeStream*>(opaque);
    return stream->m_deadline && std::chrono::steady_clock::now() > *stream->m_deadline ? 1 : 0;
}

// FFmpeg answers some files that are simply not audio with "Invalid
// argument"; to the user that is invalid data. Always false, for returning.
bool DecodeStream::fail(const QString& path, int code, QString* error)
{
    if (code == AVERROR(EINVAL))
        code = AVERROR_INVALIDDATA;
    if (error)
        *error = path + QStringLiteral(": ") + (code == AVERROR_EXIT ? tooLongText() : Ffmpeg::errorText(code));
    return false;
}

bool DecodeStream::openFile(const QString& path, QString* error)
{
    int status = openDecoder(path);
    // An MP3 whose leading tag outgrows the probe (a large cover picture) is
    // judged by its name alone: named .m4a, it fails as MPEG-4. The tag says
    // an MPEG audio stream follows.
    if (status < 0 && status != AVERROR_EXIT && startsWithId3v2Tag(path)) {
        m_codec.reset();
        m_format.reset();
        status = openDecoder(path, av_find_input_format("mp3"));
    }
    if (status == 0)
        status = findFirstRealSample();
    if (status == 0)
        status = measureRealLength(path);
    return status == 0 || fail(path, status, error);
}

// Opens the container and the decoder of its best audio stream. Returns 0 or
// FFmpeg's error code.
int DecodeStream::openDecoder(const QString& path, const AVInputFormat* container)
{
    AVDictionary* options = nullptr;
    // The mp3 demuxer's table-of-contents seek is approximate; the generic
    // index seek gives packets their exact timestamps.
    av_dict_set(&options, "usetoc", "0", 0);
    // A track is a local file and nothing it holds may reach further: no
    // network, no other process, no protocol that stitches files together
    // (a playlist or reference inside a file would otherwise be followed).
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // Probing reads this much at the most, however little it finds.
    av_dict_set(&options, "probesize", "5000000", 0);
    av_dict_set(&options, "formatprobesize", "5000000", 0);
    av_dict_set(&options, "analyzeduration", "5000000", 0);
    // Zeros between the tags and the first frame hide the encoder's header
    // from the demuxer: it is read from the frame on, the tags passed over.
    if (const std::optional<std::int64_t> frameAt = firstMp3FrameAfterZeros(path))
        av_dict_set_int(&options, "skip_initial_bytes", *frameAt, 0);
    AVFormatContext* format = avformat_alloc_context();
    if (!format)
        return AVERROR(ENOMEM);
    format->interrupt_callback = {&DecodeStream::interrupted, this};
    // "file:" keeps a path that looks like "name:rest" from being taken for a protocol.
    int status = avformat_open_input(&format, QFile::encodeName(QStringLiteral("file:") + path).constData(), container,
                                     &options);
    const Ffmpeg::DictionaryHandle unusedOptions(options);
    if (status < 0)
        return status;
    m_format.reset(format);

    // A file FFmpeg can open but finds no usable audio stream in is, to the
    // user, not audio at all.
    if ((status = avformat_find_stream_info(format, nullptr)) < 0)
        return status;
    const AVCodec* decoder = nullptr;
    status = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (status < 0)
        return AVERROR_INVALIDDATA;
    if (!isPlausibleRate(format->streams[status]->codecpar->sample_rate)
        || format->streams[status]->codecpar->ch_layout.nb_channels <= 0)
        return AVERROR_INVALIDDATA;
    // MPEG audio Layer I is what a program or other data looks like to the
    // MPEG probe (its frame header is easily met by chance, and any bytes
    // after it decode); no lesson is recorded in it.
    if (format->streams[status]->codecpar->codec_id == AV_CODEC_ID_MP1)
        return AVERROR_INVALIDDATA;
    m_streamIndex = status;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (int(i) != m_streamIndex)
            format->streams[i]->discard = AVDISCARD_ALL;
    AVStream* stream = format->streams[m_streamIndex];
    m_timeBase = stream->time_base;

    m_codec.reset(avcodec_alloc_context3(decoder));
    if (!m_codec)
        return AVERROR(ENOMEM);
    if ((status = avcodec_parameters_to_context(m_codec.get(), stream->codecpar)) < 0)
        return status;
    m_codec->pkt_timebase = stream->time_base;
    // Trimming is done here by timestamp, the same way at the start, at the
    // end and after a seek; the decoder must hand over every sample.
    m_codec->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
    if ((status = avcodec_open2(m_codec.get(), decoder, nullptr)) < 0)
        return status;

    m_inputRate = stream->codecpar->sample_rate;
    m_inputChannels = stream->codecpar->ch_layout.nb_channels;
    if (!isPlausibleRate(m_inputRate) || m_inputChannels <= 0)
        return AVERROR_INVALIDDATA;
    if (m_outputRate == fileRate)
        m_outputRate = m_inputRate;
    const std::int64_t divisor = std::gcd(m_inputRate, m_outputRate);
    m_inputStep = m_inputRate / divisor;
    m_outputStep = m_outputRate / divisor;
    m_resamplerPrerollFrames = m_inputRate == m_outputRate ? 0 : resamplerPrerollFrames;
    switch (stream->codecpar->codec_id) {
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_MP2:
        m_decoderPrerollFrames = mp3PrerollPackets(stream->codecpar->sample_rate, stream->codecpar->ch_layout.nb_channels)
            * std::int64_t(m_codec->frame_size > 0 ? m_codec->frame_size : 1152);
        break;
    case AV_CODEC_ID_AAC:
        m_decoderPrerollFrames = aacPrerollFrames;
        break;
    default:
        m_decoderPrerollFrames = otherPrerollFrames;
    }

    m_packet.reset(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!m_packet || !m_frame)
        return AVERROR(ENOMEM);
    return 0;
}

// Where the real audio starts on the stream's timeline: the first packet's
// time plus what the container says to skip (encoder delay, AAC priming).
int DecodeStream::findFirstRealSample()
{
    for (;;) {
        const int status = av_read_frame(m_format.get(), m_packet.get());
        if (status < 0)
            return status == AVERROR_EOF ? AVERROR_INVALIDDATA : status;
        if (m_packet->stream_index == m_streamIndex)
            break;
        av_packet_unref(m_packet.get());
    }
    const std::int64_t firstPts = m_packet->pts != AV_NOPTS_VALUE ? m_packet->pts : m_packet->dts;
    m_firstPacketPts = firstPts != AV_NOPTS_VALUE ? firstPts : 0;
    m_firstPacketSample = av_rescale_q(m_firstPacketPts, m_timeBase, AVRational{1, m_inputRate});
    m_firstPacketSkip = skipSamplesOf(*m_packet);
    m_firstPacketDuration = m_packet->duration;
    av_packet_unref(m_packet.get());
    if (!isPlausible(m_firstPacketSample))
        return AVERROR_INVALIDDATA;
    m_firstRealSampleOnTimeline = m_firstPacketSample + m_firstPacketSkip;
    return 0;
}

// The real length: from the MP3's gapless header when it agrees with the
// stream, else from what the container states (an MPEG-4 edit list already
// excludes priming and padding).
int DecodeStream::measureRealLength(const QString& path)
{
    const AVFormatContext* format = m_format.get();
    const AVStream* stream = format->streams[m_streamIndex];
    const AVRational perSample{1, m_inputRate};
    const bool isMp3 = stream->codecpar->codec_id == AV_CODEC_ID_MP3;
    const bool isAdts = std::strcmp(format->iformat->name, "aac") == 0;
    const bool isMp4Family = std::strstr(format->iformat->name, "mp4") || std::strstr(format->iformat->name, "mov");
    // A length past belief counts as none stated.
    auto statedLength = [](std::int64_t samples) { return isPlausible(samples) ? samples : -1; };
    const std::int64_t streamSamples =
        stream->duration != AV_NOPTS_VALUE ? statedLength(av_rescale_q(stream->duration, m_timeBase, perSample)) : -1;
    const std::int64_t formatSamples =
        format->duration != AV_NOPTS_VALUE ? statedLength(av_rescale_q(format->duration, AV_TIME_BASE_Q, perSample)) : -1;
    std::int64_t fileSize = 0;
    std::int64_t tagBytes = 0;
    const std::optional<Mp3GaplessInfo> gapless =
        isMp3 ? readMp3GaplessInfo(path, &fileSize, &tagBytes) : std::optional<Mp3GaplessInfo>();
    // Where the frames end: tags after them (a cover picture) may hold what
    // the demuxer takes for frames, which the decoder makes nothing of.
    const std::int64_t framesEndByte = isMp3 && tagBytes > 0 ? fileSize - tagBytes : -1;
    if (gapless && gapless->sampleRate == m_inputRate
        && gapless->encoderDelaySamples + mp3DecoderDelay == m_firstPacketSkip) {
        m_lengthInputFrames = gapless->realSampleCount();
        const std::int64_t bytesPresent = fileSize - gapless->headerFrameOffset;
        const bool cutShort = gapless->byteCount > 0 && bytesPresent < gapless->byteCount;
        // Frames after the bytes the header speaks for, tags aside: files
        // joined end to end, the header being the first one's.
        const bool joined = gapless->byteCount > 0 && bytesPresent - tagBytes > gapless->byteCount + joinedSlackBytes;
        // A frame count that no MP3 frame size bears out over the bytes there
        // are (one damaged field would make hours of a few seconds).
        const std::int64_t frameBytes = gapless->byteCount > 0 ? gapless->byteCount : bytesPresent - tagBytes;
        // At a constant bitrate the frames are all one size, a padding byte
        // aside: the count must match the bytes within a few frames (the
        // header's own, a last one cut, a tag), or twice the length is
        // promised and half of it never plays.
        // (The header's own frame is among the bytes, at a bitrate of its own.)
        const std::int64_t constantBytes = gapless->frameCount * gapless->constantFrameBytes + gapless->headerFrameBytes;
        const std::int64_t fewFrames = 3 * (gapless->constantFrameBytes + 1);
        const bool constantBelied = gapless->constantFrameBytes > 0
            && (frameBytes < constantBytes - fewFrames
                || frameBytes > constantBytes + gapless->frameCount + fewFrames + largestMp3FrameBytes);
        const bool countBelied = frameBytes < gapless->frameCount * smallestMp3FrameBytes
            || frameBytes > (gapless->frameCount + 1) * largestMp3FrameBytes || constantBelied;
        if (cutShort || joined || countBelied) {
            const std::int64_t counted = countSamplesToTheEnd(framesEndByte);
            m_lengthEstimated = counted <= 0;
            const std::int64_t headerSamples = gapless->frameCount * gapless->samplesPerFrame;
            if (counted > 0 && std::abs(counted - headerSamples) > gapless->samplesPerFrame)
                m_lengthInputFrames = counted - m_firstPacketSkip;
            else if (counted <= 0 && (cutShort || joined))
                // Not counted in time: estimated from the bytes there are,
                // at the rate the header states (cut short, a share of its
                // length; joined, the parts after it too, where its own
                // length alone would end hours of lessons after the first).
                // Play stops at the estimate or where the data ends,
                // whichever comes first.
                m_lengthInputFrames = std::int64_t(double(headerSamples) * double(bytesPresent - (joined ? tagBytes : 0))
                                                   / double(gapless->byteCount))
                    - gapless->encoderDelaySamples;
        }
    } else if ((isMp3 || isAdts) && format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
        // No header states the length: FFmpeg guessed it from the first
        // frame's bitrate, which a VBR file does not keep to (nor AAC frames
        // as they are, renamed ".mp3" by a recorder or a download).
        const std::int64_t counted = countSamplesToTheEnd(framesEndByte);
        m_lengthEstimated = counted <= 0;
        if (counted > 0)
            m_lengthInputFrames = counted - m_firstPacketSkip;
        else if (formatSamples > 0)
            m_lengthInputFrames = formatSamples - m_firstPacketSkip;
    } else if (isMp4Family && streamSamples > 0) {
        // With an edit list the track's time starts at its first real sample
        // (the priming packet before it); without one (as iTunes writes AAC)
        // it starts at the priming, which the gapless tag has skipped.
        m_lengthInputFrames = m_firstPacketSample >= 0 ? streamSamples - m_firstPacketSkip : streamSamples;
        // That tag also states the real length, short of the last frame's padding.
        if (const std::optional<std::int64_t> stated = itunesStatedSamples(*format);
            stated && *stated <= m_lengthInputFrames && *stated > m_lengthInputFrames - 2 * std::int64_t(frameSizeOf(*stream)))
            m_lengthInputFrames = *stated;
        // A track header that states fewer samples than its table lists
        // (damaged, or a tool's mistake) would end the lesson partway, the
        // rest never reached: the table holds. Priming and padding the edit
        // list leaves out are a frame or two; samples it cuts are marked in
        // the table and not counted.
        const std::int64_t listed = samplesListed();
        if (listed > streamSamples + 3 * std::int64_t(frameSizeOf(*stream)))
            m_lengthInputFrames = listed;
    } else if (streamSamples > 0) {
        m_lengthInputFrames = m_firstPacketSample + streamSamples - m_firstRealSampleOnTimeline;
    } else if (formatSamples > 0) {
        m_lengthInputFrames = formatSamples - m_firstPacketSkip;
    }
    if (m_lengthInputFrames <= 0)
        return AVERROR_INVALIDDATA;
    // FFmpeg's rescale does not overflow; it says so with a value out of range.
    m_lengthOutputFrames = av_rescale_rnd(m_lengthInputFrames, m_outputRate, m_inputRate, AV_ROUND_DOWN);
    if (m_lengthOutputFrames <= 0 || !isPlausible(m_lengthOutputFrames))
        return AVERROR_INVALIDDATA;
    return 0;
}

// The samples an MPEG-4 track's table lists from the first real one to the
// end of the last packet kept (the demuxer reads the whole table at the
// open), as far as its packets' count bears out: one damaged time in the
// table would push every later one out, and make hours of a lesson that
// plays a second. -1 when it lists none.
std::int64_t DecodeStream::samplesListed() const
{
    AVStream* stream = m_format->streams[m_streamIndex];
    const int frameSize = frameSizeOf(*stream);
    std::int64_t kept = 0;
    std::optional<std::int64_t> lastTime;
    for (int index = avformat_index_get_entries_count(stream) - 1; index >= 0; --index) {
        const AVIndexEntry* entry = avformat_index_get_entry(stream, index);
        if (!entry || (entry->flags & AVINDEX_DISCARD_FRAME))
            continue;
        ++kept;
        if (!lastTime && entry->timestamp != AV_NOPTS_VALUE)
            lastTime = entry->timestamp;
    }
    if (!lastTime)
        return -1;
    const std::int64_t end = av_rescale_q(*lastTime, m_timeBase, AVRational{1, m_inputRate}) + frameSize;
    if (!isPlausible(end))
        return -1;
    const std::int64_t byTime = end - m_firstRealSampleOnTimeline;
    const std::int64_t byCount = kept * frameSize - m_firstPacketSkip;
    return std::min(byTime, byCount);
}

// The stream's samples from its first packet to the end of the file, counted
// packet by packet without decoding (each MP3 packet is one frame and states
// its samples). Reads on from the first packet; the open seeks back after.
// -1 when they cannot be counted, or not in time: a long file on a slow disk
// keeps the estimate rather than keep the learner waiting. Packets from
// framesEndByte on (when not -1) are not counted.
std::int64_t DecodeStream::countSamplesToTheEnd(std::int64_t framesEndByte)
{
    const auto started = std::chrono::steady_clock::now();
    const auto giveUpAt = started + sampleCountTime;
    // The count's time is its own: the open's deadline waits meanwhile.
    const auto openTimeLeft = m_deadline ? *m_deadline - started : std::chrono::steady_clock::duration::zero();
    if (m_deadline)
        m_deadline = giveUpAt + openTimeLeft;
    const auto restoreDeadline = qScopeGuard([&] {
        if (m_deadline)
            m_deadline = std::min(*m_deadline, std::chrono::steady_clock::now() + openTimeLeft);
    });
    std::int64_t total = m_firstPacketDuration;  // stream time base
    if (total <= 0 || countingGivesUp)
        return -1;
    for (std::int64_t packets = 1;; ++packets) {
        const int status = av_read_frame(m_format.get(), m_packet.get());
        if (status == AVERROR_EOF)
            break;
        if (status < 0)
            return -1;
        const bool ours = m_packet->stream_index == m_streamIndex;
        const std::int64_t duration = m_packet->duration;
        // By where the packet ends: junk before a frame goes with it, so a
        // first "frame" in the tag starts where the last real one ended.
        const bool pastTheFrames = framesEndByte >= 0 && m_packet->pos >= 0 && m_packet->pos + m_packet->size > framesEndByte;
        av_packet_unref(m_packet.get());
        if (pastTheFrames)
            break;
        if (ours && (duration <= 0 || !isPlausible(total += duration)))
            return -1;
        if (packets % 512 == 0 && std::chrono::steady_clock::now() > giveUpAt)
            return -1;
    }
    const std::int64_t samples = av_rescale_q(total, m_timeBase, AVRational{1, m_inputRate});
    return isPlausible(samples) ? samples : -1;
}

QString DecodeStream::formatName() const
{
    return m_format && m_format->iformat ? QString::fromLatin1(m_format->iformat->name) : QString();
}

void DecodeStream::seek(std::int64_t outputFrame)
{
    const std::int64_t target = std::clamp<std::int64_t>(outputFrame, 0, m_lengthOutputFrames);
    m_discardBefore = target;
    m_readPosition = target;
    m_stagedBegin = m_stagedEnd = 0;
    if (m_framePending) {
        av_frame_unref(m_frame.get());
        m_framePending = false;
    }
    m_sentSinceFrame = m_lostBeforeFrame = {};
    m_packetsSinceFrame = 0;
    m_packetsBeforeFirstFrame = -1;
    m_silenceUntil.reset();
    m_decodedUntil.reset();
    m_readFrom.reset();
    m_fedAny = false;
    m_demuxerDone = false;
    m_inputFinished = false;
    m_finished = false;
    m_readError = 0;
    if (target >= m_lengthOutputFrames) {
        m_inputFinished = m_finished = true;
        return;
    }

    // Start feeding the resampler on its grid, some way before the target, so
    // its output there is what a straight run would have produced; start
    // decoding further back still, for the decoder's own sake.
    const std::int64_t gridIndex = target / m_outputStep;
    const std::int64_t prerollSteps = ceilDivide(m_resamplerPrerollFrames, m_inputStep);
    const std::int64_t startGrid = std::max<std::int64_t>(0, gridIndex - prerollSteps);
    m_feedFrom = startGrid * m_inputStep;
    m_nextFeed = m_feedFrom;
    m_nextOutput = startGrid * m_outputStep;

    const std::int64_t decodeFrom = m_feedFrom - m_decoderPrerollFrames + m_firstRealSampleOnTimeline;
    const std::int64_t seekPts =
        std::max(m_firstPacketPts, av_rescale_q(decodeFrom, AVRational{1, m_inputRate}, m_timeBase));
    int status = av_seek_frame(m_format.get(), m_streamIndex, seekPts, AVSEEK_FLAG_BACKWARD);
    if (status < 0)
        status = av_seek_frame(m_format.get(), m_streamIndex, m_firstPacketPts, AVSEEK_FLAG_BACKWARD);
    if (status < 0) {
        m_inputFinished = m_finished = true;
        return;
    }
    avcodec_flush_buffers(m_codec.get());
    if (m_resampler)
        swr_close(m_resampler.get());
}

int DecodeStream::read(float* interleaved, int maxFrames)
{
    int written = 0;
    while (written < maxFrames) {
        if (stagedFrames() > 0) {
            const int count = int(std::min<std::int64_t>(maxFrames - written, stagedFrames()));
            std::memcpy(interleaved + std::size_t(written) * outputChannels,
                        m_staged.data() + std::size_t(m_stagedBegin) * outputChannels,
                        std::size_t(count) * outputChannels * sizeof(float));
            m_stagedBegin += count;
            m_readPosition += count;
            written += count;
            continue;
        }
        if (m_finished) {
            written += padShortEnd(interleaved + std::size_t(written) * outputChannels, maxFrames - written);
            break;
        }
        m_stagedBegin = m_stagedEnd = 0;
        decodeStep();
    }
    return written;
}

// The silence still to come before the stated length, once the data has run
// out just short of it (not when reading failed: that is no end).
std::int64_t DecodeStream::shortEndPadding() const
{
    const std::int64_t missing = m_lengthOutputFrames - m_readPosition;
    return m_readError == 0 && missing > 0 && missing <= m_outputRate / shortEndPaddingDivisor ? missing : 0;
}

int DecodeStream::padShortEnd(float* interleaved, int maxFrames)
{
    const int count = int(std::min<std::int64_t>(shortEndPadding(), maxFrames));
    std::fill_n(interleaved, std::size_t(count) * outputChannels, 0.0f);
    m_readPosition += count;
    return count;
}

void DecodeStream::decodeStep()
{
    if (m_framePending) {
        acceptPendingFrame();
        return;
    }
    int status = avcodec_receive_frame(m_codec.get(), m_frame.get());
    if (status == 0) {
        noteFrameReceived();
        m_framePending = true;
        acceptPendingFrame();
        return;
    }
    if (status != AVERROR(EAGAIN) || m_demuxerDone) {
        finishInput();  // the decoder is drained (or broken)
        return;
    }
    if (readsStall.load(std::memory_order_relaxed))
        waitOutReadStall(m_serial);
    status = av_read_frame(m_format.get(), m_packet.get());
    const std::int64_t failAfter = failingReadAfterPackets.load(std::memory_order_relaxed);
    if (status >= 0 && failAfter > 0 && ++m_packetsRead > failAfter) {
        av_packet_unref(m_packet.get());
        status = failingReadCode.load(std::memory_order_relaxed);
    }
    if (status < 0) {
        if (status != AVERROR_EOF)
            m_readError = status;
        m_demuxerDone = true;
        avcodec_send_packet(m_codec.get(), nullptr);
        return;
    }
    if (m_packet->stream_index == m_streamIndex) {
        notePacketSent(*m_packet);
        avcodec_send_packet(m_codec.get(), m_packet.get());  // a damaged packet is skipped
    }
    av_packet_unref(m_packet.get());
}

void DecodeStream::notePacketSent(const AVPacket& packet)
{
    ++m_packetsSinceFrame;
    if (!m_readFrom && packet.pts != AV_NOPTS_VALUE) {
        const std::int64_t at = av_rescale_q(packet.pts, m_timeBase, AVRational{1, m_inputRate});
        if (isPlausible(at))
            m_readFrom = at - m_firstRealSampleOnTimeline;
    }
    // A packet stands for no more than a few frames can last (8 MP3 frames;
    // a part joined at another rate stretches one), whatever its container
    // says: a damaged one must not turn a jump in time into silence, nor a
    // run of them add up past counting.
    const std::int64_t stated = packet.duration > 0 ? av_rescale_q(packet.duration, m_timeBase, AVRational{1, m_inputRate}) : 0;
    m_lastSentFrames = std::clamp<std::int64_t>(stated, 0, 8 * std::clamp(m_codec->frame_size, 1152, 16384));
    m_lastSentMpegRate = 0;
    if (m_codec->codec_id == AV_CODEC_ID_MP3 || m_codec->codec_id == AV_CODEC_ID_MP2) {
        if (const auto header = MpegFrameHeader::parse(packet.data, packet.size))
            m_lastSentMpegRate = header->sampleRate;
    }
    if (m_lastSentFrames > 0)
        m_sentSinceFrame.knownFrames += m_lastSentFrames;
    else
        ++m_sentSinceFrame.untimedPackets;
}

// Each packet makes a frame: those sent before this one's that made none
// were damaged.
void DecodeStream::noteFrameReceived()
{
    if (m_packetsBeforeFirstFrame < 0)
        m_packetsBeforeFirstFrame = std::max<std::int64_t>(0, m_packetsSinceFrame - 1);
    m_packetsSinceFrame = 0;
    m_lostBeforeFrame = m_sentSinceFrame;
    if (m_lastSentFrames > 0)
        m_lostBeforeFrame.knownFrames = std::max<std::int64_t>(0, m_lostBeforeFrame.knownFrames - m_lastSentFrames);
    else
        m_lostBeforeFrame.untimedPackets = std::max<std::int64_t>(0, m_lostBeforeFrame.untimedPackets - 1);
    m_sentSinceFrame = {};
}

void DecodeStream::acceptPendingFrame()
{
    // The MPEG audio decoder stamps a frame with the rate of the one decoded
    // before it: the first of a joined part at another rate, or the first
    // after a seek back across the join, would be measured at the wrong
    // rate. Each frame comes of the packet sent last, whose header is sure.
    if (m_lastSentMpegRate > 0)
        m_frame->sample_rate = m_lastSentMpegRate;
    if (acceptFrame(*m_frame)) {
        av_frame_unref(m_frame.get());
        m_framePending = false;
        m_silenceUntil.reset();
    }
}

bool DecodeStream::acceptFrame(const AVFrame& frame)
{
    if (m_inputFinished || frame.nb_samples <= 0)
        return true;
    const int frameRate = frame.sample_rate;
    if (!isPlausibleRate(frameRate)) {
        m_inputFinished = m_finished = true;  // a damaged frame in the middle of the stream
        return true;
    }
    // The timeline counts at the file's first rate; a later part of a joined
    // file may run at another, and its frames are measured on the timeline.
    const auto onTimelineFrames = [&](std::int64_t frames) {
        return frameRate == m_inputRate ? frames : av_rescale(frames, m_inputRate, frameRate);
    };
    const auto inFrameFrames = [&](std::int64_t timelineFrames) {
        return frameRate == m_inputRate ? timelineFrames : av_rescale(timelineFrames, frameRate, m_inputRate);
    };
    const std::int64_t pts = frame.pts != AV_NOPTS_VALUE ? frame.pts : frame.best_effort_timestamp;
    const std::int64_t onTimeline = pts != AV_NOPTS_VALUE ? av_rescale_q(pts, m_timeBase, AVRational{1, m_inputRate}) : 0;
    // A time past belief is taken as none: the frame follows the one before.
    std::int64_t position =
        pts != AV_NOPTS_VALUE && isPlausible(onTimeline) ? onTimeline - m_firstRealSampleOnTimeline : m_nextFeed;
    // Its end is where its own time says, so a part at another rate does not
    // drift from its times by a rounding at every frame.
    const std::int64_t span = onTimelineFrames(frame.nb_samples);
    const std::int64_t wholeEnd = position + span;
    // Where it is due: after the frame fed last; or, before any is fed since
    // the seek, after the last one decoded (or where reading began), when a
    // gap spans the point where feeding starts.
    std::optional<std::int64_t> due;
    if (m_fedAny) {
        due = m_nextFeed;
    } else if (position > m_feedFrom) {
        const std::optional<std::int64_t> since = m_decodedUntil ? m_decodedUntil : m_readFrom;
        if (since && *since <= m_feedFrom)
            due = since;
    }
    m_decodedUntil = wholeEnd;
    const std::int64_t lostFrames = m_lostBeforeFrame.knownFrames + m_lostBeforeFrame.untimedPackets * span;
    if (due && !m_silenceUntil && lostFrames > 0 && position - *due > followOnToleranceFrames) {
        // The decoder made nothing of a stretch (damaged packets): its time
        // plays as silence, so what follows keeps its place on the timeline
        // and the track its length. No more than those packets lasted: a time
        // that jumps further is not taken for sound lost.
        if (!m_fedAny) {
            m_fedAny = true;
            m_nextFeed = m_feedFrom;
        }
        m_silenceUntil = std::max(m_nextFeed, std::min(position, *due + lostFrames));
    }
    if (position >= m_lengthInputFrames) {
        finishInput();
        return true;
    }
    if (m_silenceUntil && m_nextFeed < *m_silenceUntil) {
        if (!ensureResampler(frame)) {
            m_inputFinished = m_finished = true;
            return true;
        }
        const std::int64_t piece = std::min(*m_silenceUntil - m_nextFeed, silencePieceFrames);
        if (!feedSilence(frame, int(inFrameFrames(piece)))) {
            m_inputFinished = m_finished = true;
            return true;
        }
        m_nextFeed += piece;
        if (m_nextFeed < *m_silenceUntil || m_inputFinished)
            return m_inputFinished;  // more silence first: the frame waits
    }
    if (m_fedAny && std::abs(position - m_nextFeed) < span) {
        // Off by less than a frame: rounding, or a parser's guess at the
        // length of the first frames at a new rate. It follows straight on,
        // never cut nor held apart by silence.
        position = m_nextFeed;
    }
    std::int64_t begin = std::max(position, m_fedAny ? m_nextFeed : m_feedFrom);
    const std::int64_t end = std::min(wholeEnd, m_lengthInputFrames);
    if (!m_fedAny && begin > m_feedFrom) {
        // The demuxer landed after the point asked for: start on the next grid
        // point that is here.
        const std::int64_t grid = ceilDivide(begin, m_inputStep);
        m_feedFrom = begin = grid * m_inputStep;
        m_nextOutput = grid * m_outputStep;
    }
    if (begin >= end)
        return true;
    if (!ensureResampler(frame)) {
        m_inputFinished = m_finished = true;
        return true;
    }
    const std::int64_t offset = std::min<std::int64_t>(inFrameFrames(begin - position), frame.nb_samples);
    const std::int64_t until = end == wholeEnd ? frame.nb_samples : std::min<std::int64_t>(inFrameFrames(end - position), frame.nb_samples);
    // Damage decoded as sound goes no further than the frame: checked only
    // after the resampler, its filter spread what is left of a silenced
    // burst into the next block (2.7 times full scale, from a file saved
    // over while it played).
    if (until > offset && decodedAsDamage(frame))
        feedSilence(frame, int(until - offset));
    else if (until > offset)
        feedResampler(&frame, int(offset), int(until - offset));
    m_fedAny = true;
    m_nextFeed = end;
    if (end >= m_lengthInputFrames)
        finishInput();
    return true;
}

bool DecodeStream::decodedAsDamage(const AVFrame& frame)
{
    const auto format = AVSampleFormat(frame.format);
    if (format != AV_SAMPLE_FMT_FLTP && format != AV_SAMPLE_FMT_FLT)
        return false;  // (integer samples cannot pass full scale)
    const bool planar = format == AV_SAMPLE_FMT_FLTP;
    const int channels = frame.ch_layout.nb_channels;
    const std::size_t perPlane = std::size_t(frame.nb_samples) * std::size_t(planar ? 1 : channels);
    for (int plane = 0; plane < (planar ? channels : 1); ++plane)
        if (SampleGuard::isDamaged({reinterpret_cast<const float*>(frame.extended_data[plane]), perPlane}))
            return true;
    return false;
}

bool DecodeStream::feedSilence(const AVFrame& like, int frames)
{
    if (frames <= 0)
        return true;
    AVFrame* silence = m_silence.get();
    if (!silence || silence->format != like.format || silence->sample_rate != like.sample_rate
        || av_channel_layout_compare(&silence->ch_layout, &like.ch_layout) != 0 || silence->nb_samples < frames) {
        m_silence.reset(av_frame_alloc());
        silence = m_silence.get();
        if (!silence || av_channel_layout_copy(&silence->ch_layout, &like.ch_layout) < 0)
            return false;
        silence->format = like.format;
        silence->sample_rate = like.sample_rate;
        silence->nb_samples = std::max<int>(frames, int(silencePieceFrames));
        if (av_frame_get_buffer(silence, 0) < 0)
            return false;
        av_samples_set_silence(silence->extended_data, 0, silence->nb_samples, silence->ch_layout.nb_channels,
                               AVSampleFormat(silence->format));
    }
    feedResampler(silence, 0, frames);
    return true;
}

bool DecodeStream::ensureResampler(const AVFrame& frame)
{
    const bool sameInput = m_resampler && frame.format == m_resamplerInputFormat
        && frame.sample_rate == m_resamplerInputRate && frame.ch_layout.nb_channels == m_resamplerInputChannels;
    if (!sameInput) {
        // Another part of a joined file: what the old input's filter still
        // holds back is the end of that part, not to be lost.
        if (m_fedAny && m_resampler && swr_is_initialized(m_resampler.get()))
            drainResampler();
        AVChannelLayout inputLayout{};
        if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&inputLayout, frame.ch_layout.nb_channels);
        else
            av_channel_layout_copy(&inputLayout, &frame.ch_layout);
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        SwrContext* context = nullptr;
        const int status = swr_alloc_set_opts2(&context, &stereo, AV_SAMPLE_FMT_FLT, m_outputRate, &inputLayout,
                                               AVSampleFormat(frame.format), frame.sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inputLayout);
        m_resampler.reset(context);
        if (status < 0 || !context)
            return false;
        m_resamplerInputFormat = frame.format;
        m_resamplerInputRate = frame.sample_rate;
        m_resamplerInputChannels = frame.ch_layout.nb_channels;
    }
    if (swr_is_initialized(m_resampler.get()))
        return true;
    if (m_resamplerInputChannels == 1) {
        // A mono recording belongs in both ears at full level, not at -3 dB.
        static constexpr double monoToStereo[2] = {1.0, 1.0};
        swr_set_matrix(m_resampler.get(), monoToStereo, 1);
    } else if (m_resamplerInputChannels > 2) {
        // Folding more channels into two adds them up: in floats nothing
        // stops the sum passing full scale, and the device clips it.
        av_opt_set_double(m_resampler.get(), "rematrix_maxval", 1.0, 0);
    }
    return swr_init(m_resampler.get()) >= 0;
}

void DecodeStream::feedResampler(const AVFrame* frame, int offsetFrames, int frameCount)
{
    SwrContext* resampler = m_resampler.get();
    const int capacity = swr_get_out_samples(resampler, frameCount);
    if (capacity <= 0)
        return;
    const std::size_t needed = std::size_t(m_stagedEnd + capacity) * outputChannels;
    if (m_staged.size() < needed)
        m_staged.resize(needed);
    uint8_t* output = reinterpret_cast<uint8_t*>(m_staged.data() + std::size_t(m_stagedEnd) * outputChannels);

    int produced;
    if (frame) {
        const auto format = AVSampleFormat(frame->format);
        const int bytesPerSample = av_get_bytes_per_sample(format);
        const int channels = frame->ch_layout.nb_channels;
        const int planes = av_sample_fmt_is_planar(format) ? channels : 1;
        const int step = av_sample_fmt_is_planar(format) ? bytesPerSample : bytesPerSample * channels;
        m_inputPlanes.resize(std::size_t(planes));
        for (int plane = 0; plane < planes; ++plane)
            m_inputPlanes[std::size_t(plane)] = frame->extended_data[plane] + std::size_t(offsetFrames) * step;
        produced = swr_convert(resampler, &output, capacity, m_inputPlanes.data(), frameCount);
    } else {
        produced = swr_convert(resampler, &output, capacity, nullptr, 0);
    }
    if (produced <= 0)
        return;
    SampleGuard::tame(std::span<float>(reinterpret_cast<float*>(output), std::size_t(produced) * outputChannels));

    // Keep what lies between the seek target and the end.
    const std::int64_t firstIndex = m_nextOutput;
    const std::int64_t dropFront = std::clamp<std::int64_t>(m_discardBefore - firstIndex, 0, produced);
    const std::int64_t keepUntil = std::clamp<std::int64_t>(m_lengthOutputFrames - firstIndex, 0, produced);
    m_nextOutput += produced;
    if (keepUntil > dropFront) {
        if (stagedFrames() == 0)
            m_readPosition = firstIndex + dropFront;
        float* base = m_staged.data() + std::size_t(m_stagedEnd) * outputChannels;
        if (dropFront > 0)
            std::memmove(base, base + dropFront * outputChannels,
                         std::size_t(keepUntil - dropFront) * outputChannels * sizeof(float));
        m_stagedEnd += keepUntil - dropFront;
    }
    if (m_nextOutput >= m_lengthOutputFrames)
        m_inputFinished = m_finished = true;
}

void DecodeStream::finishInput()
{
    if (m_inputFinished) {
        m_finished = true;
        return;
    }
    m_inputFinished = true;
    if (m_resampler && swr_is_initialized(m_resampler.get()))
        drainResampler();
    m_finished = true;
}

void DecodeStream::drainResampler()
{
    // What the resampler still holds back for its filter.
    while (!m_finished) {
        const std::int64_t before = m_nextOutput;
        feedResampler(nullptr, 0, 0);
        if (m_nextOutput == before)
            break;
    }
}
