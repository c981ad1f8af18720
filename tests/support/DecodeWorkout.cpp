#include "DecodeWorkout.h"

#include "engine/DecodeStream.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace DecodeWorkout {

Input split(const QByteArray& bytes)
{
    Input input;
    if (bytes.size() < 4) {
        input.file = bytes;
        input.plan.seekFractions = {0.5};
        return input;
    }
    const auto* steering = reinterpret_cast<const unsigned char*>(bytes.constData()) + bytes.size() - 4;
    input.file = bytes.left(bytes.size() - 4);
    // Device rates seen in the wild, the usual two first.
    static constexpr int rates[] = {48000, 44100, 22050, 96000, 8000};
    static constexpr int chunks[] = {512, 7, 1024, 4096};
    Plan& plan = input.plan;
    plan.outputRate = rates[steering[0] % std::size(rates)];
    plan.suffix = steering[0] & 0x80 ? QStringLiteral("m4a") : QStringLiteral("mp3");
    plan.seekFractions = {steering[1] / 200.0 - 0.1, steering[2] / 200.0 - 0.1};
    plan.chunkFrames = chunks[steering[3] % std::size(chunks)];
    return input;
}

namespace {

constexpr int guardFrames = 16;
constexpr float guardValue = -12345.0f;
constexpr std::int64_t framesAfterEachSeek = 8192;

class Runner {
public:
    Runner(const Plan& plan, Report& report)
        : m_plan(plan)
        , m_report(report)
        , m_buffer(std::size_t(plan.chunkFrames + guardFrames) * DecodeStream::outputChannels)
    {
        m_clock.start();
    }

    void run(const QString& path)
    {
        QString error;
        m_stream = DecodeStream::open(path, m_plan.outputRate, &error);
        if (!m_stream) {
            m_report.error = error;
            const QString prefix = path + QStringLiteral(": ");
            if (!error.startsWith(prefix) || error.size() == prefix.size())
                broken(QStringLiteral("the load error does not name the file and a reason: ") + error);
            return;
        }
        m_report.opened = true;
        m_report.durationSeconds = m_stream->durationSeconds();
        m_report.inputRate = m_stream->inputRate();
        m_report.inputChannels = m_stream->inputChannels();
        m_report.formatName = m_stream->formatName();
        m_report.lengthFrames = m_length = m_stream->outputLengthFrames();
        if (!(std::isfinite(m_report.durationSeconds) && m_report.durationSeconds > 0))
            broken(QStringLiteral("duration %1 s").arg(m_report.durationSeconds));
        if (m_length <= 0)
            broken(QStringLiteral("length %1 output frames").arg(m_length));
        if (m_stream->outputRate() != m_plan.outputRate)
            broken(QStringLiteral("output rate %1, asked for %2").arg(m_stream->outputRate()).arg(m_plan.outputRate));
        if (m_stream->position() != 0)
            broken(QStringLiteral("opened at frame %1, not 0").arg(m_stream->position()));

        for (const double fraction : m_plan.seekFractions) {
            const auto target = std::int64_t(std::llround(fraction * double(m_length)));
            seek(target);
            readOn(std::min(framesAfterEachSeek, m_plan.maxFramesPerPass), QStringLiteral("after a seek to %1").arg(target));
            if (outOfTime())
                return;
        }
        seek(0);
        m_report.framesDecoded = readOn(m_plan.maxFramesPerPass, QStringLiteral("from the start"));
        m_report.stoppedAtWorkLimit = m_report.framesDecoded >= m_plan.maxFramesPerPass;
        if (m_report.framesDecoded > m_length)
            broken(QStringLiteral("%1 frames decoded, the length says %2").arg(m_report.framesDecoded).arg(m_length));
    }

private:
    void broken(const QString& what) { m_report.brokenPromises << what; }

    bool outOfTime()
    {
        if (m_clock.elapsed() <= std::int64_t(m_plan.deadlineSeconds * 1000))
            return false;
        if (!m_timedOut)
            broken(QStringLiteral("still busy after %1 s").arg(m_plan.deadlineSeconds));
        m_timedOut = true;
        return true;
    }

    void seek(std::int64_t target)
    {
        m_stream->seek(target);
        const std::int64_t expected = std::clamp<std::int64_t>(target, 0, m_length);
        if (m_stream->position() != expected)
            broken(QStringLiteral("a seek to %1 stands at %2, not %3").arg(target).arg(m_stream->position()).arg(expected));
    }

    // Reads on from where the stream stands, up to maxFrames; returns how
    // many frames came. Checks every read on the way.
    std::int64_t readOn(std::int64_t maxFrames, const QString& where)
    {
        const int chunk = m_plan.chunkFrames;
        float* const guard = m_buffer.data() + std::size_t(chunk) * DecodeStream::outputChannels;
        std::int64_t total = 0;
        while (total < maxFrames) {
            if (outOfTime())
                return total;
            std::fill(guard, guard + guardFrames * DecodeStream::outputChannels, guardValue);
            const std::int64_t before = m_stream->position();
            const int got = m_stream->read(m_buffer.data(), chunk);
            const std::int64_t after = m_stream->position();
            if (got < 0 || got > chunk) {
                broken(QStringLiteral("a read of %1 frames returned %2 (%3)").arg(chunk).arg(got).arg(where));
                return total;
            }
            if (!std::all_of(guard, guard + guardFrames * DecodeStream::outputChannels,
                             [](float sample) { return sample == guardValue; })) {
                broken(QStringLiteral("a read of %1 frames wrote past them (%2)").arg(chunk).arg(where));
                return total;
            }
            if (after < before + got)
                broken(QStringLiteral("position %1 after reading %2 frames from %3 (%4)").arg(after).arg(got).arg(before).arg(where));
            if (after > m_length)
                broken(QStringLiteral("position %1 past the length %2 (%3)").arg(after).arg(m_length).arg(where));
            total += got;
            if (got < chunk) {
                if (!m_stream->atEnd())
                    broken(QStringLiteral("a short read, yet not at the end (%1)").arg(where));
                if (m_stream->read(m_buffer.data(), chunk) != 0)
                    broken(QStringLiteral("frames came after the end (%1)").arg(where));
                return total;
            }
        }
        return total;
    }

    const Plan& m_plan;
    Report& m_report;
    std::vector<float> m_buffer;
    std::unique_ptr<DecodeStream> m_stream;
    std::int64_t m_length = 0;
    QElapsedTimer m_clock;
    bool m_timedOut = false;
};

}  // namespace

Report run(const QString& path, const Plan& plan)
{
    Report report;
    Runner(plan, report).run(path);
    return report;
}

}  // namespace DecodeWorkout
