#pragma once

#include "engine/FfmpegHandles.h"

#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// One audio file decoded to interleaved stereo float at a chosen output rate,
// trimmed to its real samples: frame 0 is the first sample the encoder was
// given (encoder delay and padding removed), and seek() lands on the exact
// frame, identical to what a straight decode from the start produces there.
// Streams: memory does not grow with the file's length. Not thread-safe; one
// thread uses it at a time.
class DecodeStream {
public:
    static constexpr int outputChannels = 2;
    // As the output rate: decode at the file's own rate, so nothing is
    // resampled (a scan that needs no particular rate runs faster so).
    static constexpr int fileRate = 0;

    // Opening is bounded: the longest it may take. A slow disk or a stalled
    // network mount fails the open then, rather than hold up its caller.
    static constexpr std::chrono::milliseconds openDeadline{2000};
    // Memory is bounded too: FFmpeg allocates no single block larger than
    // this (set for the whole process at the first open).
    static constexpr std::size_t largestAllocationBytes = 256 * 1024 * 1024;

    // Opens the regular file at an absolute local path. On failure returns
    // null and sets error (when given) to the path and the reason. A file that
    // opens but yields no audio fails too. outputRate may be fileRate.
    static std::unique_ptr<DecodeStream> open(const QString& path, int outputRate, QString* error);

    ~DecodeStream();
    DecodeStream(const DecodeStream&) = delete;
    DecodeStream& operator=(const DecodeStream&) = delete;

    int inputRate() const { return m_inputRate; }
    // The demuxer FFmpeg chose for the file ("mp3", "mov,mp4,m4a,3gp,3g2,mj2", ...).
    QString formatName() const;
    int outputRate() const { return m_outputRate; }
    int inputChannels() const { return m_inputChannels; }
    // Real length at the file's own rate, and in output frames.
    std::int64_t lengthFrames() const { return m_lengthInputFrames; }
    std::int64_t outputLengthFrames() const { return m_lengthOutputFrames; }
    double durationSeconds() const { return double(m_lengthInputFrames) / m_inputRate; }
    // The length had to be counted and could not be (not in time: a long
    // file on a slow disk): it is an estimate, and what is made of it (a
    // phrase map) stands only until the file is opened again.
    bool lengthEstimated() const { return m_lengthEstimated; }

    // The next read() starts at this output frame (clamped to 0...length).
    void seek(std::int64_t outputFrame);
    // Output frame of the next frame read() returns.
    std::int64_t position() const { return m_readPosition; }
    // Writes up to maxFrames interleaved stereo frames; returns how many.
    // Fewer than asked means the stream has ended (0: nothing more). Data that
    // runs out just short of the stated length is made up to it with silence.
    int read(float* interleaved, int maxFrames);
    bool atEnd() const { return m_finished && stagedFrames() == 0 && shortEndPadding() == 0; }
    // FFmpeg's error code when reading the file failed since the last seek
    // (the data then ends there); 0 when the data simply ran out, or not yet.
    int readError() const { return m_readError; }

    // Tests only: from now on, each stream's reading of its file fails with
    // `code` once it has read `packets` packets since it was opened, as a
    // network mount that drops out partway does. 0 packets turns it off.
    static void failReadsAfterPacketsForTesting(std::int64_t packets, int code);
    // Tests only: counting a length gives up at once, as on a slow disk.
    static void giveUpCountingForTesting(bool giveUp);
    // Tests only: while set, the reads of every stream open when it was set
    // wait until it is cleared, as on a network share that stopped
    // answering; streams opened later read as usual (from another disk),
    // unless opens too are stalled: then they wait as they begin.
    static void stallReadsForTesting(bool stall, bool opensToo = false);
    // Tests only: how many reads wait in such a stall now.
    static int stalledReadsForTesting();

private:
    DecodeStream() = default;
    bool openFile(const QString& path, QString* error);
    static bool fail(const QString& path, int code, QString* error);
    static int interrupted(void* opaque);
    static QString tooLongText();
    int openDecoder(const QString& path, const AVInputFormat* container = nullptr);
    int findFirstRealSample();
    int measureRealLength(const QString& path);
    std::int64_t countSamplesToTheEnd(std::int64_t framesEndByte);
    std::int64_t samplesListed() const;
    void decodeStep();
    std::int64_t shortEndPadding() const;
    int padShortEnd(float* interleaved, int maxFrames);
    void notePacketSent(const AVPacket& packet);
    void noteFrameReceived();
    void acceptPendingFrame();
    // False while the frame waits for silence before it to be fed.
    bool acceptFrame(const AVFrame& frame);
    static bool decodedAsDamage(const AVFrame& frame);
    bool feedSilence(const AVFrame& like, int frames);
    void feedResampler(const AVFrame* frame, int offsetFrames, int frameCount);
    void drainResampler();
    void finishInput();
    bool ensureResampler(const AVFrame& frame);
    std::int64_t stagedFrames() const { return m_stagedEnd - m_stagedBegin; }

    Ffmpeg::FormatHandle m_format;
    Ffmpeg::CodecHandle m_codec;
    Ffmpeg::PacketHandle m_packet;
    Ffmpeg::FrameHandle m_frame;
    bool m_framePending = false;  // m_frame holds a frame not yet wholly fed
    Ffmpeg::FrameHandle m_silence;  // zeros in the last input's format
    Ffmpeg::ResamplerHandle m_resampler;
    int m_resamplerInputFormat = -1;
    int m_resamplerInputRate = 0;
    int m_resamplerInputChannels = 0;

    int m_streamIndex = -1;
    AVRational m_timeBase{1, 1};
    int m_inputRate = 0;
    int m_outputRate = 0;
    int m_inputChannels = 0;
    // Resampling is exact on a grid: every inputStep input frames map to
    // outputStep output frames.
    std::uint64_t m_serial = 0;  // the how-manyth stream opened (for stallReadsForTesting)
    std::int64_t m_inputStep = 1;
    std::int64_t m_outputStep = 1;
    std::int64_t m_decoderPrerollFrames = 0;
    std::int64_t m_resamplerPrerollFrames = 0;

    std::int64_t m_firstPacketPts = 0;          // stream time base
    std::int64_t m_firstPacketSample = 0;       // the same, in input frames
    std::int64_t m_firstPacketSkip = 0;         // input frames the first packet says to skip
    std::int64_t m_firstPacketDuration = 0;     // stream time base
    std::int64_t m_firstRealSampleOnTimeline = 0;  // input frames on the stream's timeline
    std::int64_t m_lengthInputFrames = 0;
    std::int64_t m_lengthOutputFrames = 0;
    bool m_lengthEstimated = false;

    // Decoding state since the last seek, in real input/output frames.
    std::int64_t m_feedFrom = 0;           // input frames before this only prime the decoder
    std::int64_t m_nextFeed = 0;           // next input frame (on the timeline) expected by the resampler
    std::int64_t m_nextOutput = 0;         // output frame of the resampler's next output
    std::int64_t m_discardBefore = 0;      // the seek target
    std::int64_t m_readPosition = 0;
    bool m_fedAny = false;
    std::optional<std::int64_t> m_decodedUntil;  // timeline end of the last frame decoded
    std::optional<std::int64_t> m_readFrom;      // timeline time of the first packet read
    // Packets sent to the decoder: their length on the timeline, and how many
    // came without one.
    struct PacketTime {
        std::int64_t knownFrames = 0;
        std::int64_t untimedPackets = 0;
    };
    PacketTime m_sentSinceFrame;                 // since the decoder last gave a frame
    std::int64_t m_lastSentFrames = 0;           // the last one's length; 0 when untimed
    int m_lastSentMpegRate = 0;                  // the rate its MPEG audio header states; 0: none
    PacketTime m_lostBeforeFrame;                // those that made none, before m_frame
    std::optional<std::int64_t> m_silenceUntil;  // where the silence before m_frame ends
    bool m_demuxerDone = false;
    bool m_inputFinished = false;
    bool m_finished = false;
    int m_readError = 0;
    std::int64_t m_packetsRead = 0;  // since the open, for the tests' read failure
    std::int64_t m_packetsSinceFrame = 0;        // sent since the decoder last gave a frame
    std::int64_t m_packetsBeforeFirstFrame = -1; // since the last seek, that made none; -1 before the first

    // Set while opening (on the opening thread); none while playing.
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    std::vector<const uint8_t*> m_inputPlanes;
    std::vector<float> m_staged;  // converted output not yet read
    std::int64_t m_stagedBegin = 0;
    std::int64_t m_stagedEnd = 0;
};
