#include "engine/LoudnessScan.h"

#include "base/Log.h"
#include "engine/DecodeStream.h"
#include "engine/FfmpegHandles.h"
#include "engine/HopLevelMeter.h"

#include <cmath>

namespace LoudnessScan {

std::optional<LoudnessEnvelope> run(const QString& path, const KeepGoing& keepGoing, QString* error, QString* readFailure)
{
    // Some 0.2 s of audio a read: a stop is seen within a fraction of a
    // millisecond of work, and the buffer stays in the processor's cache.
    constexpr int chunkFrames = 8192;

    std::unique_ptr<DecodeStream> stream = DecodeStream::open(path, DecodeStream::fileRate, error);
    if (!stream)
        return std::nullopt;
    HopLevelMeter meter(stream->outputRate());
    meter.reserveSeconds(stream->durationSeconds());
    std::vector<float> chunk(std::size_t(chunkFrames) * DecodeStream::outputChannels);
    const double totalFrames = double(std::max<std::int64_t>(stream->outputLengthFrames(), 1));
    while (const int frames = stream->read(chunk.data(), chunkFrames)) {
        meter.add(chunk.data(), frames, DecodeStream::outputChannels);
        if (!keepGoing(std::min(1.0, double(meter.framesAdded()) / totalFrames)))
            return std::nullopt;
    }
    if (readFailure && stream->readError() != 0) {
        const double stoppedSeconds = double(stream->position()) / stream->outputRate();
        *readFailure = QStringLiteral("reading stopped at %1 s: %2")
                           .arg(Log::formatDouble(std::round(stoppedSeconds * 10) / 10), Ffmpeg::errorText(stream->readError()));
    } else if (readFailure && stream->lengthEstimated()) {
        *readFailure = QStringLiteral("its length is only estimated");
    }
    return LoudnessEnvelope{meter.takeLevels(), stream->durationSeconds()};
}

}  // namespace LoudnessScan
