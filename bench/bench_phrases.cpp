// Figures for the phrase map: how long a whole track takes to map, the peak
// memory while mapping, how far the phrases found lie from the true ones, and
// how long a cached map takes to come back. The tracks are made with ffmpeg
// (kept in the temporary folder between runs): bursts of noise shaped like
// speech (4.3 syllables a second) with pauses of 0.35 to 1.2 s between
// them, over a hiss at -61 dB, as 44.1 kHz stereo MP3 at 128 kbit/s.

#include "engine/PhraseMapper.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include "ProcessMemory.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// One cycle of the made-up lesson: where its bursts lie in it, in seconds.
constexpr double cycleSeconds = 14.0;
const std::vector<Phrase> cycle = {{0.4, 1.7},  {2.2, 4.4},   {4.75, 5.55},
                                   {6.45, 8.15}, {8.75, 11.65}, {12.1, 13.2}};

std::vector<Phrase> truePhrases(double durationSeconds)
{
    std::vector<Phrase> phrases;
    for (double offset = 0; offset < durationSeconds; offset += cycleSeconds)
        for (const Phrase& phrase : cycle)
            if (offset + phrase.startSeconds < durationSeconds)
                phrases.push_back({offset + phrase.startSeconds, std::min(offset + phrase.endSeconds, durationSeconds)});
    return phrases;
}

QString makeTrack(int minutes)
{
    const QString folder = QDir::temp().filePath(QStringLiteral("rivetone-bench-phrases"));
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("bursts-%1min.mp3").arg(minutes));
    if (QFile::exists(path))
        return path;
    QString gate;
    for (const Phrase& phrase : cycle)
        gate += QStringLiteral("%1between(ld(0),%2,%3)").arg(gate.isEmpty() ? "" : "+").arg(phrase.startSeconds).arg(phrase.endSeconds);
    auto channel = [&gate](int seed) {
        return QStringLiteral("st(0,mod(t,%1));0.25*(2*random(%2)-1)*(0.55+0.45*sin(2*PI*4.3*t))*(%3)"
                              "+0.0015*(2*random(%4)-1)")
            .arg(cycleSeconds).arg(seed).arg(gate).arg(seed + 1);
    };
    const QString partial = path + QStringLiteral(".part.mp3");
    const QString command =
        QStringLiteral("ffmpeg -hide_banner -loglevel error -y -f lavfi -i \"aevalsrc=exprs='%1|%2':s=44100:d=%3\" "
                       "-c:a libmp3lame -b:a 128k \"%4\"")
            .arg(channel(1), channel(3)).arg(minutes * 60).arg(partial);
    if (std::system(command.toLocal8Bit().constData()) != 0 || !QFile::rename(partial, path))
        return {};
    return path;
}

// Maps the file with a mapper as the app has one; the event loop runs until
// it answers. Returns the time taken in ms, or -1.
double timeMap(PhraseMapper& mapper, const QString& path, PhraseMap* map)
{
    QElapsedTimer timer;
    QEventLoop loop;
    auto onMapped = QObject::connect(&mapper, &PhraseMapper::mapped, [&](const QString&, const PhraseMap& result) {
        *map = result;
        loop.quit();
    });
    auto onFailed = QObject::connect(&mapper, &PhraseMapper::failed, [&](const QString&, const QString& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        loop.quit();
    });
    timer.start();
    mapper.map(path);
    loop.exec();
    const double milliseconds = double(timer.nsecsElapsed()) / 1e6;
    QObject::disconnect(onMapped);
    QObject::disconnect(onFailed);
    return map->phraseCount() > 0 || map->durationSeconds() > 0 ? milliseconds : -1;
}

struct BoundaryErrors {
    int found = 0;
    int expected = 0;
    int missed = 0;  // true phrases with no phrase found within 50 ms of both ends
    double worstMilliseconds = 0;
    double meanMilliseconds = 0;
};

BoundaryErrors compare(const std::vector<Phrase>& found, const std::vector<Phrase>& expected)
{
    BoundaryErrors errors;
    errors.found = int(found.size());
    errors.expected = int(expected.size());
    double sum = 0;
    for (const Phrase& truth : expected) {
        const auto nearest = std::min_element(found.begin(), found.end(), [&truth](const Phrase& a, const Phrase& b) {
            return std::fabs(a.startSeconds - truth.startSeconds) < std::fabs(b.startSeconds - truth.startSeconds);
        });
        if (nearest == found.end()) {
            ++errors.missed;
            continue;
        }
        const double startError = std::fabs(nearest->startSeconds - truth.startSeconds) * 1000;
        const double endError = std::fabs(nearest->endSeconds - truth.endSeconds) * 1000;
        if (startError > 50 || endError > 50)
            ++errors.missed;
        errors.worstMilliseconds = std::max({errors.worstMilliseconds, startError, endError});
        sum += startError + endError;
    }
    errors.meanMilliseconds = expected.empty() ? 0 : sum / (2.0 * double(expected.size()));
    return errors;
}

// Child process: maps one file into an empty cache, then again from the
// cache, and prints its figures on one line.
int reportOne(const QString& path)
{
    QTemporaryDir cache;
    PhraseMapper mapper(cache.path(), PhraseFinder::Settings());
    PhraseMap map;
    const double mapMilliseconds = timeMap(mapper, path, &map);
    const long peakKilobytes = peakResidentKilobytes();
    PhraseMap cached;
    const double cachedMilliseconds = timeMap(mapper, path, &cached);
    const BoundaryErrors errors = compare(map.phrases(), truePhrases(map.durationSeconds()));
    std::printf("%.1f %ld %.1f %d %d %d %.1f %.1f %zu\n", mapMilliseconds, peakKilobytes, cachedMilliseconds,
                errors.found, errors.expected, errors.missed, errors.worstMilliseconds, errors.meanMilliseconds,
                map.levelsDecibels().size() * sizeof(float));
    return mapMilliseconds < 0 || !(cached == map);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--map")
        return reportOne(QString::fromLocal8Bit(argv[2]));

    std::printf("Phrase map figures (44.1 kHz stereo MP3, 128 kbit/s; each file mapped in a fresh process)\n");
    for (int minutes : {1, 10, 60}) {
        QElapsedTimer making;
        making.start();
        const QString path = makeTrack(minutes);
        if (path.isEmpty()) {
            std::printf("ffmpeg could not make the %d-minute file; stopping here\n", minutes);
            return 1;
        }
        if (making.elapsed() > 1000)
            std::printf("(made the %d-minute file in %.1f s)\n", minutes, making.elapsed() / 1000.0);
        const QString command = QStringLiteral("\"%1\" --map \"%2\"").arg(QCoreApplication::applicationFilePath(), path);
        FILE* child = popen(command.toLocal8Bit().constData(), "r");
        double mapMs = 0, cachedMs = 0, worst = 0, mean = 0;
        long peak = 0;
        int found = 0, expected = 0, missed = 0;
        std::size_t envelopeBytes = 0;
        const bool read = child
            && std::fscanf(child, "%lf %ld %lf %d %d %d %lf %lf %zu", &mapMs, &peak, &cachedMs, &found, &expected,
                           &missed, &worst, &mean, &envelopeBytes) == 9;
        const int status = child ? pclose(child) : -1;
        if (!read || status != 0) {
            std::printf("%2d min: the mapping child failed\n", minutes);
            continue;
        }
        std::printf("%2d min: mapped in %7.1f ms (target for 60 min < 3000 ms), from the cache in %5.1f ms; "
                    "peak RSS %6.1f MB (levels %.2f MB); phrases %d of %d, %d off by over 50 ms; "
                    "boundary error worst %.0f ms, mean %.1f ms\n",
                    minutes, mapMs, cachedMs, peak / 1024.0, envelopeBytes / 1048576.0, found, expected, missed, worst,
                    mean);
    }
    return 0;
}
