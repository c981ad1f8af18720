// Figures for playback speed with the pitch kept:
//   - each time-stretch engine (librubberband's R3 "finer" and R2 "faster",
//     libsoundtouch) on the same speech at 0.75x and 1.25x: the CPU it takes,
//     as a share of one core at real time;
//   - the whole engine playing a lesson at 1.0x, 0.75x and 1.25x (decoder,
//     stretcher and output threads, SDL's dummy device at real time);
//   - the pitch and the length of a 440 Hz tone at 0.5x to 2.0x;
//   - how soon a speed change is heard.
//
//   bench_speed [seconds of real-time play per speed, default 10]
//
// Needs espeak-ng and ffmpeg to make its speech.

#include "engine/AudioOutput.h"
#include "engine/FilePlayer.h"
#include "engine/TimeStretcher.h"
#include "KnownSignal.h"
#include "SpeechFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QUrl>
#include <rubberband/RubberBandStretcher.h>
#include <soundtouch/SoundTouch.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The candidates, each on its own library's API the way the player would
// drive it: real-time mode, 1024 frames in at a time, everything ready taken.
enum class Candidate { RubberBandFiner, RubberBandFaster, SoundTouch };

const char* nameOf(Candidate candidate)
{
    switch (candidate) {
    case Candidate::RubberBandFiner:
        return "librubberband R3 (finer)";
    case Candidate::RubberBandFaster:
        return "librubberband R2 (faster)";
    case Candidate::SoundTouch:
        return "libsoundtouch";
    }
    return "?";
}

constexpr int chunkFrames = 1024;

std::int64_t stretchWithRubberBand(bool finer, const std::vector<float>& audio, double speed, int rate)
{
    using RubberBand::RubberBandStretcher;
    RubberBandStretcher stretcher(std::size_t(rate), 2,
                                  RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionChannelsTogether
                                      | (finer ? RubberBandStretcher::OptionEngineFiner : RubberBandStretcher::OptionEngineFaster),
                                  1.0 / speed);
    stretcher.setMaxProcessSize(chunkFrames);
    std::vector<float> left(8192), right(8192);
    std::int64_t produced = 0;
    const std::size_t frames = audio.size() / 2;
    for (std::size_t at = 0; at < frames; at += chunkFrames) {
        const int count = int(std::min<std::size_t>(chunkFrames, frames - at));
        for (int i = 0; i < count; ++i) {
            left[std::size_t(i)] = audio[(at + std::size_t(i)) * 2];
            right[std::size_t(i)] = audio[(at + std::size_t(i)) * 2 + 1];
        }
        const float* in[] = {left.data(), right.data()};
        stretcher.process(in, std::size_t(count), at + std::size_t(count) >= frames);
        float* out[] = {left.data(), right.data()};
        for (int ready; (ready = stretcher.available()) > 0;)
            produced += std::int64_t(stretcher.retrieve(out, std::size_t(std::min(ready, 8192))));
    }
    return produced;
}

std::int64_t stretchWithSoundTouch(const std::vector<float>& audio, double speed, int rate)
{
    soundtouch::SoundTouch touch;
    touch.setSampleRate(uint(rate));
    touch.setChannels(2);
    touch.setTempo(speed);
    std::vector<float> out(8192 * 2);
    std::int64_t produced = 0;
    const std::size_t frames = audio.size() / 2;
    for (std::size_t at = 0; at < frames; at += chunkFrames) {
        const int count = int(std::min<std::size_t>(chunkFrames, frames - at));
        touch.putSamples(audio.data() + at * 2, uint(count));
        if (at + std::size_t(count) >= frames)
            touch.flush();
        for (uint got; (got = touch.receiveSamples(out.data(), 8192)) > 0;)
            produced += got;
    }
    return produced;
}

// The left channel's frequency over the middle half, from its rising zero crossings.
double frequencyOf(const std::vector<float>& stereo, int rate)
{
    const std::size_t frames = stereo.size() / 2;
    int rising = 0;
    double first = -1;
    double last = -1;
    for (std::size_t i = frames / 4 + 1; i < frames * 3 / 4; ++i) {
        const float a = stereo[(i - 1) * 2];
        const float b = stereo[i * 2];
        if (a < 0 && b >= 0) {
            const double at = double(i - 1) + a / (a - b);
            rising += first >= 0 ? 1 : 0;
            first = first < 0 ? at : first;
            last = at;
        }
    }
    return rising > 0 ? rising / ((last - first) / rate) : 0;
}

// The player's stretcher over all of the audio, as the decoder drives it.
std::vector<float> stretchedByThePlayer(const std::vector<float>& audio, double speed, int rate)
{
    TimeStretcher stretcher(rate, speed);
    stretcher.restart(speed, nullptr, 0);
    std::vector<float> out;
    std::vector<float> chunk(8192 * 2);
    const std::size_t frames = audio.size() / 2;
    for (std::size_t at = 0; at < frames; at += chunkFrames) {
        const int count = int(std::min<std::size_t>(chunkFrames, frames - at));
        stretcher.put(audio.data() + at * 2, count, at + std::size_t(count) >= frames);
        for (int got; (got = stretcher.take(chunk.data(), 8192)) > 0;)
            out.insert(out.end(), chunk.begin(), chunk.begin() + got * 2);
    }
    return out;
}

// Stretches all of the audio; returns the frames out and the CPU seconds.
std::pair<std::int64_t, double> stretch(Candidate candidate, const std::vector<float>& audio, double speed, int rate)
{
    const double before = cpuSeconds();
    const std::int64_t produced = candidate == Candidate::SoundTouch
        ? stretchWithSoundTouch(audio, speed, rate)
        : stretchWithRubberBand(candidate == Candidate::RubberBandFiner, audio, speed, rate);
    return {produced, cpuSeconds() - before};
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QTemporaryDir folder;
    if (!SpeechFixture::missingTool().isEmpty()) {
        std::printf("%s is missing: no speech to measure on\n", qPrintable(SpeechFixture::missingTool()));
        return 1;
    }
    // A minute of speech: the six sentences of the test lesson, four times over.
    SpeechFixture::Recipe recipe = SpeechFixture::lesson();
    const QStringList sentences = recipe.sentences;
    const std::vector<double> pauses = recipe.pausesSeconds;
    for (int copy = 1; copy < 4; ++copy) {
        recipe.sentences += sentences;
        recipe.pausesSeconds.push_back(0.6);
        recipe.pausesSeconds.insert(recipe.pausesSeconds.end(), pauses.begin(), pauses.end());
    }
    QString error;
    const auto speech = SpeechFixture::make(folder.path(), QStringLiteral("speech"), recipe, &error);
    if (!speech) {
        std::printf("cannot make the speech: %s\n", qPrintable(error));
        return 1;
    }
    const int rate = 48000;
    const std::vector<float> audio = KnownSignal::straightDecode(speech->path, rate);
    const double audioSeconds = double(audio.size() / 2) / rate;
    std::printf("speech: %.1f s at %d Hz\n", audioSeconds, rate);

    std::printf("\nStretcher alone, CPU as a share of one core while playing in real time:\n");
    for (const auto candidate : {Candidate::RubberBandFiner, Candidate::RubberBandFaster, Candidate::SoundTouch}) {
        for (double speed : {0.75, 1.25}) {
            const auto [frames, cpu] = stretch(candidate, audio, speed, rate);
            const double heardSeconds = double(frames) / rate;
            std::printf("  %-26s %.2fx: %5.2f %% of a core (%.1f s out, %.1f%% off %.1f s)\n", nameOf(candidate), speed,
                        cpu / heardSeconds * 100, heardSeconds, (heardSeconds * speed / audioSeconds - 1) * 100,
                        audioSeconds / speed);
        }
    }

    std::printf("\nA 440 Hz tone of 5 s through the player's stretcher:\n");
    const std::vector<float> tone = KnownSignal::straightDecode(QStringLiteral(RIVETONE_FIXTURES_DIR "/sine-5s.mp3"), rate);
    for (double speed : {0.5, 0.75, 1.25, 1.5, 2.0}) {
        const std::vector<float> out = stretchedByThePlayer(tone, speed, rate);
        const double expected = double(tone.size() / 2) / speed;
        std::printf("  %.2fx: %.2f Hz (%+.2f Hz), %.4f s long (%+.3f %% off %.4f s)\n", speed, frequencyOf(out, rate),
                    frequencyOf(out, rate) - 440, double(out.size() / 2) / rate,
                    (double(out.size() / 2) / expected - 1) * 100, expected / rate);
    }

    std::printf("\nThe engine playing the speech (decoder, %s, output), %d s each:\n",
                nameOf(Candidate::RubberBandFiner), seconds);
    const auto output = AudioOutput::shared();
    for (double speed : {1.0, 0.75, 1.25}) {
        const auto player = FilePlayer::load(QUrl::fromLocalFile(speech->path), nullptr);
        player->setSpeed(speed);
        player->play();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const double before = cpuSeconds();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("  %.2fx: %.2f %% of a core\n", speed, (cpuSeconds() - before) / wall * 100);
    }

    std::printf("\nA speed change, from the key to the new speed heard:\n");
    {
        const auto player = FilePlayer::load(QUrl::fromLocalFile(speech->path), nullptr);
        player->play();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const double before = player->currentTime();
        const auto start = Clock::now();
        player->setSpeed(0.5);
        // Watch the heard position until it moves at the new pace.
        double last = before;
        auto lastAt = start;
        double changedMs = -1;
        while (Clock::now() - start < std::chrono::seconds(2)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const double now = player->currentTime();
            const auto at = Clock::now();
            const double pace = (now - last) / std::chrono::duration<double>(at - lastAt).count();
            if (now != last) {
                if (changedMs < 0 && pace > 0 && pace < 0.75 && std::chrono::duration<double>(at - start).count() > 0.004)
                    changedMs = std::chrono::duration<double, std::milli>(at - start).count();
                last = now;
                lastAt = at;
            }
        }
        const TimeStretcher stretcher(rate, 0.5);
        std::printf("  heard at the new pace after %.0f ms (device buffer %.0f ms; the stretcher primes with %.0f ms "
                    "before the position, which is not heard)\n",
                    changedMs, output->bufferFrames() * 1000.0 / output->sampleRate(),
                    stretcher.leadFrames() * 1000.0 / rate);
    }
    return 0;
}
