// Figures for the loop played in the audio: over 200 passes of each loop,
// for MP3 CBR, MP3 VBR and m4a, loops of 0.3 s to 10 s, set while playing and
// while paused, what the output really held, every frame placed on a straight
// decode: frames heard past the loop's end, frames after its start lost or
// repeated, silent frames at the joint, and the joint's largest step against
// the signal's own largest step nearby.
//
//   bench_loop [output rate, default 48000]
//
// The output is the engine's own, pulled by hand (as a device pulls it), so
// the figures are the same on any machine. Then a loop handle dragged while
// playing: the loop's end moved (always ahead of the play head) 125, 250
// and 500 times a second while the output is pulled a device buffer of 1024 frames
// at a time at the device's pace, in real time; every departure from the
// straight track is counted (none should be heard). Needs the ffmpeg command: it makes
// 12 s versions of the chirp fixtures, long enough for a 10 s loop.

#include "base/Log.h"
#include "engine/AudioOutput.h"
#include "engine/AudioPlayer.h"
#include "engine/Crossfade.h"
#include "KnownSignal.h"
#include "LoopListener.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

constexpr int passes = 200;

std::vector<float> pull(std::int64_t frames)
{
    const std::shared_ptr<AudioOutput> output = AudioOutput::shared();
    std::vector<float> collected;
    collected.reserve(std::size_t(frames) * 2);
    float chunk[2 * 512];
    int idle = 0;  // renders in a row that brought nothing
    while (std::int64_t(collected.size() / 2) < frames && idle < 5000) {
        const int wanted = int(std::min<std::int64_t>(512, frames - std::int64_t(collected.size() / 2)));
        const int supplied = output->renderForTesting(chunk, wanted);
        collected.insert(collected.end(), chunk, chunk + supplied * 2);
        idle = supplied > 0 ? 0 : idle + 1;
        if (supplied == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    return collected;
}

bool makeChirp(const QString& path, const QString& codec)
{
    const QString chirp = QStringLiteral(
        "aevalsrc=exprs=0.5*sin(2*PI*(200*t+112.5*t*t))|0.4*sin(2*PI*(300*t+90*t*t)):s=44100:d=12");
    const QString command = QStringLiteral("ffmpeg -hide_banner -loglevel error -y -bitexact -f lavfi -i \"%1\" %2 \"%3\"")
                                .arg(chirp, codec, path);
    return std::system(command.toLocal8Bit().constData()) == 0;
}

struct Worst {
    std::int64_t pastEnd = 0;
    std::int64_t lostOrRepeated = 0;
    std::int64_t silent = 0;
    double stepRatio = 0;
    int wraps = 0;
    int unplaced = 0;
};

// Five drags of 2 s each; prints the departures from the straight track.
void dragTheLoopEnd(const QString& path, int rate, int changesPerSecond)
{
    using Clock = std::chrono::steady_clock;
    constexpr int bufferFrames = 1024;
    const std::vector<float> straight = KnownSignal::straightDecode(path, rate);
    const LoopListener::Listener listener(straight);
    int changes = 0;
    int departures = 0;
    std::int64_t silent = 0;
    std::int64_t largestJump = 0;
    for (int run = 0; run < 5; ++run) {
        AudioPlayer engine;
        engine.setPlaylist({QUrl::fromLocalFile(path)});
        engine.playTrack(0);
        engine.seek(1.0);
        engine.setLoop(1.0, 11.0);
        // The drag starts in steady play: the set-up, pulled faster than a
        // device would, waits for the decoder as a device's pace would.
        const auto catchUp = [&engine] {
            while (!engine.player()->decoderCaughtUpForTesting())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        catchUp();
        pull(rate / 5);
        catchUp();
        std::vector<float> heard;
        const auto bufferPeriod = std::chrono::nanoseconds(std::int64_t(bufferFrames) * 1'000'000'000 / rate);
        const auto changePeriod = std::chrono::nanoseconds(1'000'000'000 / changesPerSecond);
        const Clock::time_point began = Clock::now();
        Clock::time_point nextBuffer = began;
        Clock::time_point nextChange = began;
        double end = 11.0;
        while (Clock::now() - began < std::chrono::seconds(2)) {
            if (nextChange <= nextBuffer) {
                std::this_thread::sleep_until(nextChange);
                end -= 0.002;
                engine.setLoopEnd(end);
                ++changes;
                nextChange += changePeriod;
            } else {
                std::this_thread::sleep_until(nextBuffer);
                float buffer[2 * bufferFrames] = {};
                AudioOutput::shared()->renderForTesting(buffer, bufferFrames);
                heard.insert(heard.end(), buffer, buffer + 2 * bufferFrames);
                nextBuffer += bufferPeriod;
            }
        }
        const LoopListener::Report report = listener.listen(heard, std::llround(1.2 * rate));
        departures += int(report.junctions.size()) + (report.lostTrack >= 0 ? 1 : 0);
        for (const LoopListener::Junction& j : report.junctions) {
            silent += j.silentFrames;
            largestJump = std::max<std::int64_t>(largestJump, std::llabs(j.rejoinedAt - (j.leftAfter + j.length)));
        }
    }
    std::printf("loop end dragged %d times a second, device buffer %d frames, 5 runs of 2 s (%d changes): "
                "%d departures from the straight track, %lld silent frames, largest jump %lld frames\n",
                changesPerSecond, bufferFrames, changes, departures, static_cast<long long>(silent),
                static_cast<long long>(largestJump));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int rate = argc > 1 ? std::atoi(argv[1]) : 48000;
    AudioOutput::useManualOutputForTesting(rate);
    Log::Capture quiet;
    QTemporaryDir folder;
    const struct {
        const char* name;
        const char* file;
        const char* codec;
    } tracks[] = {{"MP3 CBR", "chirp-cbr.mp3", "-c:a libmp3lame -b:a 96k"},
                  {"MP3 VBR mono", "chirp-vbr-mono.mp3", "-af 'pan=mono|c0=c0' -c:a libmp3lame -q:a 4"},
                  {"m4a (AAC)", "chirp.m4a", "-c:a aac -aac_pns 0 -b:a 96k"}};
    const int fade = Crossfade::framesAt(rate);
    std::printf("output rate %d Hz, crossfade %d frames, %d passes per loop\n", rate, fade, passes);
    std::printf("%-14s %6s %-8s | %8s %10s %7s %10s | %s\n", "track", "loop", "set", "past end", "lost/rep.",
                "silent", "step/own", "wraps");
    Worst overall;
    for (const auto& track : tracks) {
        const QString path = folder.filePath(QString::fromLatin1(track.file));
        if (!makeChirp(path, QString::fromLatin1(track.codec))) {
            std::printf("ffmpeg could not make %s\n", track.file);
            return 1;
        }
        const std::vector<float> straight = KnownSignal::straightDecode(path, rate);
        const LoopListener::Listener listener(straight);
        for (double length : {0.3, 1.0, 3.0, 10.0}) {
            for (bool whilePlaying : {true, false}) {
                const double start = 1.0 + 0.0123;
                const std::int64_t a = std::llround(start * rate);
                const std::int64_t b = std::llround((start + length) * rate);
                AudioPlayer engine;
                engine.setPlaylist({QUrl::fromLocalFile(path)});
                engine.playTrack(0);
                engine.seek(start + length / 2);
                if (!whilePlaying)
                    engine.togglePlayPause();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                pull(rate / 20);
                engine.setLoopStart(start);
                engine.setLoopEnd(start + length);
                if (!whilePlaying)
                    engine.togglePlayPause();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                // Up to the first joint, then one pass per pull, each starting
                // with the joint.
                const std::int64_t from = std::llround((start + length / 2) * rate) + (whilePlaying ? rate / 20 : 0);
                std::vector<float> heard = pull(b - fade - from);
                LoopListener::Report report = listener.listen(heard, from);
                Worst worst;
                const double own = std::max(LoopListener::largestStep(straight, b - 10 * fade, b),
                                            LoopListener::largestStep(straight, a, a + 10 * fade));
                auto account = [&](const LoopListener::Report& r, std::int64_t firstIndex) {
                    if (r.lostTrack >= 0)
                        ++worst.unplaced;
                    for (std::size_t i = firstIndex; i < r.junctions.size(); ++i) {
                        const LoopListener::Junction& j = r.junctions[i];
                        ++worst.wraps;
                        worst.pastEnd = std::max(worst.pastEnd, j.leftAfter + j.length - b);
                        worst.lostOrRepeated = std::max<std::int64_t>(worst.lostOrRepeated, std::llabs(j.rejoinedAt - (a + j.length)));
                        worst.silent = std::max(worst.silent, j.silentFrames);
                        worst.stepRatio = std::max(worst.stepRatio, j.largestStep / own);
                    }
                };
                account(report, whilePlaying ? 0 : 1);  // paused: the first joint is the resume's fade-in
                for (int pass = 0; pass < passes; ++pass) {
                    heard = pull(b - a - fade);
                    // Each pull: the joint standing for the end and the start, then the loop.
                    account(listener.listen(heard, b - fade), 0);
                }
                std::printf("%-14s %5.1fs %-8s | %8lld %10lld %7lld %10.2f | %d%s\n", track.name, length,
                            whilePlaying ? "playing" : "paused", static_cast<long long>(worst.pastEnd),
                            static_cast<long long>(worst.lostOrRepeated), static_cast<long long>(worst.silent),
                            worst.stepRatio, worst.wraps, worst.unplaced ? " (some output could not be placed)" : "");
                overall.pastEnd = std::max(overall.pastEnd, worst.pastEnd);
                overall.lostOrRepeated = std::max(overall.lostOrRepeated, worst.lostOrRepeated);
                overall.silent = std::max(overall.silent, worst.silent);
                overall.stepRatio = std::max(overall.stepRatio, worst.stepRatio);
                overall.wraps += worst.wraps;
                overall.unplaced += worst.unplaced;
            }
        }
    }
    std::printf("all %d wraps: at most %lld frames past the end, %lld lost or repeated at the start, %lld silent, "
                "joint step %.2f x the signal's own%s\n",
                overall.wraps, static_cast<long long>(overall.pastEnd), static_cast<long long>(overall.lostOrRepeated),
                static_cast<long long>(overall.silent), overall.stepRatio,
                overall.unplaced ? "; some output could not be placed" : "");
    for (const int changesPerSecond : {125, 250, 500})
        dragTheLoopEnd(folder.filePath(QStringLiteral("chirp-cbr.mp3")), rate, changesPerSecond);
    return 0;
}
