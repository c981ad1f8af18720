// Figures for the playback engine: open time, decode speed, seek exactness,
// seek reaction, memory with a short and a long file, and CPU while playing.
// Runs headless on SDL's dummy driver unless SDL_AUDIODRIVER says otherwise.
// Needs the ffmpeg command to make its long test files.

#include "engine/AudioOutput.h"
#include "engine/DecodeStream.h"
#include "engine/FilePlayer.h"

#include <QCoreApplication>
#include <QDir>
#include "ProcessMemory.h"

#include <QFile>
#include <QTemporaryDir>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

QString fixture(const char* name)
{
    return QDir(QStringLiteral(RIVETONE_FIXTURES_DIR)).filePath(QString::fromLatin1(name));
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::vector<float> decodeAll(const QString& path, int rate)
{
    std::vector<float> all;
    const auto stream = DecodeStream::open(path, rate, nullptr);
    std::vector<float> chunk(8192);
    while (const int frames = stream->read(chunk.data(), 4096))
        all.insert(all.end(), chunk.begin(), chunk.begin() + frames * 2);
    return all;
}

// Without its header frame, the file's length is counted at the open.
bool makeTone(const QString& path, int minutes, bool headerFrame = true)
{
    const QString command = QStringLiteral(
        "ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
        "\"aevalsrc=exprs=0.3*sin(2*PI*(300+100*sin(t/7))*t)|0.3*sin(2*PI*440*t):s=44100:d=%1\" "
        "-c:a libmp3lame -b:a 64k -write_xing %3 \"%2\"").arg(minutes * 60).arg(path).arg(headerFrame ? 1 : 0);
    return std::system(command.toLocal8Bit().constData()) == 0;
}

// Child process: plays a file with seeks across it, then reports its peak RSS.
int reportPeakMemory(const QString& path)
{
    auto player = FilePlayer::load(QUrl::fromLocalFile(path), nullptr);
    if (!player)
        return 1;
    player->play();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto seekStart = Clock::now();
    player->setCurrentTime(player->duration() * 0.9);
    while (player->currentTime() <= player->duration() * 0.9 && millisecondsSince(seekStart) < 60000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double farSeekMs = millisecondsSince(seekStart);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    player->setCurrentTime(player->duration() * 0.1);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::printf("%ld %.1f\n", peakResidentKilobytes(), farSeekMs);
    return 0;
}

void seekExactness(const char* name, int rate)
{
    const QString path = fixture(name);
    const std::vector<float> straight = decodeAll(path, rate);
    const std::int64_t length = std::int64_t(straight.size() / 2);
    auto stream = DecodeStream::open(path, rate, nullptr);
    std::mt19937 random(7);
    std::int64_t worstPositionError = 0;
    std::int64_t worstGarbledFrames = 0;
    double worstSample = 0;
    std::vector<float> out(4096 * 2);
    for (int i = 0; i < 300; ++i) {
        const std::int64_t target = std::uniform_int_distribution<std::int64_t>(0, length - 4096)(random);
        stream->seek(target);
        const int frames = stream->read(out.data(), 4096);
        worstPositionError = std::max(worstPositionError, std::abs(stream->position() - frames - target));
        // Lost or garbled: frames from the target on that differ from the straight decode.
        std::int64_t garbled = 0;
        for (int f = 0; f < frames; ++f)
            for (int c = 0; c < 2; ++c) {
                const double difference = std::fabs(out[std::size_t(2 * f + c)] - straight[std::size_t(2 * (target + f) + c)]);
                worstSample = std::max(worstSample, difference);
                if (difference > 1e-6)
                    garbled = f + 1;
            }
        worstGarbledFrames = std::max(worstGarbledFrames, garbled);
    }
    std::printf("  %-20s at %d Hz: 300 seeks, position error %lld samples, garbled after target %.2f ms, "
                "largest sample difference %.2g\n",
                name, rate, static_cast<long long>(worstPositionError), worstGarbledFrames * 1000.0 / rate, worstSample);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--peak-memory")
        return reportPeakMemory(QString::fromLocal8Bit(argv[2]));

    std::printf("Engine figures\n");
    const auto output = AudioOutput::shared();
    std::printf("Output: %d Hz, device buffer %d frames (%.1f ms)\n", output->sampleRate(), output->bufferFrames(),
                output->bufferFrames() * 1000.0 / output->sampleRate());

    // Open time.
    std::vector<double> opens;
    for (int i = 0; i < 30; ++i) {
        const auto start = Clock::now();
        auto player = FilePlayer::load(QUrl::fromLocalFile(fixture("chirp-cbr.mp3")), nullptr);
        opens.push_back(millisecondsSince(start));
    }
    std::sort(opens.begin(), opens.end());
    std::printf("Open a local MP3 (load, ready to play): median %.2f ms, worst %.2f ms (target < 20 ms)\n",
                opens[opens.size() / 2], opens.back());

    QTemporaryDir folder;
    const QString shortFile = folder.filePath(QStringLiteral("tone-1min.mp3"));
    const QString longFile = folder.filePath(QStringLiteral("tone-60min.mp3"));
    const auto makeStart = Clock::now();
    if (!makeTone(shortFile, 1) || !makeTone(longFile, 60)) {
        std::printf("ffmpeg could not make the long files; stopping here\n");
        return 1;
    }
    std::printf("(made a 1-minute and a 60-minute MP3 in %.1f s)\n", millisecondsSince(makeStart) / 1000);

    // A length only estimated is counted packet by packet: the open reads
    // the whole file once (from the page cache here).
    const QString countedFile = folder.filePath(QStringLiteral("tone-60min-noheader.mp3"));
    if (makeTone(countedFile, 60, false)) {
        std::vector<double> countedOpens;
        for (int i = 0; i < 7; ++i) {
            const auto start = Clock::now();
            auto player = FilePlayer::load(QUrl::fromLocalFile(countedFile), nullptr);
            countedOpens.push_back(millisecondsSince(start));
        }
        std::sort(countedOpens.begin(), countedOpens.end());
        std::printf("Open a 60-minute MP3 without its header frame (length counted): median %.0f ms, worst %.0f ms\n",
                    countedOpens[countedOpens.size() / 2], countedOpens.back());
        QFile::remove(countedFile);
    }

    // Decode speed.
    for (int rate : {44100, 48000}) {
        auto stream = DecodeStream::open(shortFile, rate, nullptr);
        std::vector<float> chunk(8192);
        const auto start = Clock::now();
        std::int64_t frames = 0;
        while (const int got = stream->read(chunk.data(), 4096))
            frames += got;
        const double seconds = millisecondsSince(start) / 1000;
        std::printf("Decode MP3 to %d Hz stereo float: %.0fx real time\n", rate, double(frames) / rate / seconds);
    }

    // Seek exactness.
    std::printf("Seek exactness (against a straight decode; targets 0 samples and 0 ms):\n");
    for (const char* name : {"chirp-cbr.mp3", "chirp-vbr-mono.mp3", "chirp-vbr-24k.mp3", "chirp.m4a"})
        for (int rate : {44100, 48000})
            seekExactness(name, rate);

    // Seek reaction: decoder work from a seek to the first new block, and
    // from a seek to the position moving on as heard.
    {
        auto stream = DecodeStream::open(fixture("chirp-cbr.mp3"), output->sampleRate(), nullptr);
        std::vector<float> block(512 * 2);
        std::vector<double> times;
        for (int i = 0; i < 100; ++i) {
            const auto start = Clock::now();
            stream->seek(std::int64_t(i) * 2500);
            stream->read(block.data(), 512);
            times.push_back(millisecondsSince(start));
        }
        std::sort(times.begin(), times.end());
        std::printf("Seek to first new block queued (MP3, with pre-roll): median %.2f ms, worst %.2f ms "
                    "(device buffer %.1f ms)\n",
                    times[50], times.back(), output->bufferFrames() * 1000.0 / output->sampleRate());

        auto player = FilePlayer::load(QUrl::fromLocalFile(fixture("chirp-cbr.mp3")), nullptr);
        player->play();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::vector<double> heard;
        for (int i = 0; i < 20; ++i) {
            const double target = 1.0 + 0.1 * i;
            const auto start = Clock::now();
            player->setCurrentTime(target);
            while (player->currentTime() <= target && millisecondsSince(start) < 1000)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            heard.push_back(millisecondsSince(start));
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
        std::sort(heard.begin(), heard.end());
        std::printf("Seek to the new position being heard (queued + device buffer): median %.1f ms, worst %.1f ms\n",
                    heard[10], heard.back());
    }

    // CPU while playing.
    {
        auto player = FilePlayer::load(QUrl::fromLocalFile(shortFile), nullptr);
        player->play();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const double cpuStart = cpuSeconds();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        const double share = (cpuSeconds() - cpuStart) / (millisecondsSince(start) / 1000);
        std::printf("CPU while playing (decoder + output threads): %.2f%% of one core (target < 2%%)\n", share * 100);
    }

    // Peak memory, each file in a fresh process.
    long peaks[2] = {0, 0};
    double farSeeks[2] = {0, 0};
    const QString files[2] = {shortFile, longFile};
    for (int i = 0; i < 2; ++i) {
        const QString command = QStringLiteral("\"%1\" --peak-memory \"%2\"")
                                    .arg(QCoreApplication::applicationFilePath(), files[i]);
        FILE* child = popen(command.toLocal8Bit().constData(), "r");
        if (!child || std::fscanf(child, "%ld %lf", &peaks[i], &farSeeks[i]) != 2)
            std::printf("peak-memory child failed\n");
        if (child)
            pclose(child);
    }
    std::printf("Peak RSS playing (with seeks to 90%% and 10%%): 1-minute file %.1f MB, 60-minute file %.1f MB, "
                "difference %.1f MB (target < 10 MB)\n",
                peaks[0] / 1024.0, peaks[1] / 1024.0, (peaks[1] - peaks[0]) / 1024.0);
    std::printf("First seek to 90%% (index built by reading ahead): 1-minute file %.1f ms, 60-minute file %.1f ms\n",
                farSeeks[0], farSeeks[1]);
    return 0;
}
