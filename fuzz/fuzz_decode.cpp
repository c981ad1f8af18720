// libFuzzer entry: every input becomes an audio file that goes through the
// decoder the way playback uses it (see DecodeWorkout). A broken promise
// aborts, so the fuzzer keeps the input; so do crashes, sanitizer reports and
// inputs that run past the time limit.

#include "DecodeWorkout.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// Coverage reaches only our own code: FFmpeg is not instrumented. These
// counters tell libFuzzer what an input made FFmpeg do, in coarse buckets
// (the length it claimed, how much decoded, the reason it failed), so that an
// input reaching a new bucket is kept and mutated further.
constexpr int outcomeKinds = 7;
constexpr int bucketsPerKind = 64;
__attribute__((used, section("__libfuzzer_extra_counters"))) uint8_t outcomeCounters[outcomeKinds * bucketsPerKind];

enum Outcome { LoadError, Duration, Decoded, InputRate, InputChannels, ShareDecoded, Demuxer };

unsigned magnitude(double value)
{
    return value >= 1 && std::isfinite(value) ? unsigned(std::log2(value)) + 1 : value > 0 ? 0 : 1;
}

void reach(Outcome kind, unsigned bucket)
{
    outcomeCounters[kind * bucketsPerKind + std::min<unsigned>(bucket, bucketsPerKind - 1)] = 1;
}

void noteOutcome(const DecodeWorkout::Report& report)
{
    if (!report.opened) {
        reach(LoadError, unsigned(qHash(report.error.section(QStringLiteral(": "), -1))) % bucketsPerKind);
        return;
    }
    // Which of FFmpeg's demuxers read it: an input that reaches one not met
    // before is kept, so the corpus spreads over all that probing can pick.
    reach(Demuxer, unsigned(qHash(report.formatName)) % bucketsPerKind);
    reach(Duration, magnitude(report.durationSeconds * 1000));
    reach(Decoded, magnitude(double(report.framesDecoded)));
    reach(InputRate, magnitude(report.inputRate));
    reach(InputChannels, unsigned(report.inputChannels));
    reach(ShareDecoded, report.stoppedAtWorkLimit ? bucketsPerKind - 1
                                                  : unsigned(report.framesDecoded * 32 / std::max<std::int64_t>(1, report.lengthFrames)));
}

// A folder of this process's own, in memory when the machine has /dev/shm.
QString scratchFolder()
{
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    const QString folder = QStringLiteral("%1/rivetone-fuzz-%2").arg(base).arg(::getpid());
    QDir().mkpath(folder);
    return folder;
}

void removeScratchFolder()
{
    QDir(scratchFolder()).removeRecursively();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::atexit(removeScratchFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString folder = scratchFolder();
    const DecodeWorkout::Input input =
        DecodeWorkout::split(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    const QString path = folder + QStringLiteral("/input.") + input.plan.suffix;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(input.file) != input.file.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            std::abort();
        }
    }
    const DecodeWorkout::Report report = DecodeWorkout::run(path, input.plan);
    noteOutcome(report);
    if (!report.brokenPromises.isEmpty()) {
        for (const QString& promise : report.brokenPromises)
            std::fprintf(stderr, "broken promise: %s\n", qPrintable(promise));
        std::abort();
    }
    QFile::remove(path);
    return 0;
}
