#include "SpeechFixture.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QtEndian>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace SpeechFixture {

namespace {

// espeak-ng speaks at this rate; the recording is laid out at it too.
constexpr int spokenRate = 22050;
// A sample this far from zero (-60 dB) is sound; espeak-ng's silences are
// exact zeros, so the exact value matters little.
constexpr float soundLevel = 0.001f;

// The samples of a 16-bit mono WAV file, as espeak-ng writes it; empty when
// it is not one.
std::vector<float> readMonoWav(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return {};
    qsizetype at = 12;
    bool monoSixteenBit = false;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const auto size = qsizetype(qFromLittleEndian<quint32>(bytes.constData() + at + 4));
        const qsizetype body = at + 8;
        if (id == "fmt " && body + 16 <= bytes.size()) {
            const auto channels = qFromLittleEndian<quint16>(bytes.constData() + body + 2);
            const auto rate = qFromLittleEndian<quint32>(bytes.constData() + body + 4);
            const auto bits = qFromLittleEndian<quint16>(bytes.constData() + body + 14);
            monoSixteenBit = channels == 1 && bits == 16 && rate == spokenRate;
        } else if (id == "data" && monoSixteenBit) {
            const qsizetype count = std::min(size, bytes.size() - body) / 2;
            std::vector<float> samples(static_cast<std::size_t>(count));
            for (qsizetype i = 0; i < count; ++i)
                samples[std::size_t(i)] = float(qFromLittleEndian<qint16>(bytes.constData() + body + 2 * i)) / 32768.0f;
            return samples;
        }
        at = body + size + (size & 1);
    }
    return {};
}

bool writeMonoWav(const QString& path, const std::vector<float>& samples)
{
    return writeFile(path, wavBytes(samples, spokenRate, 1));
}

// The sentence's sound, trimmed of espeak-ng's silence on either side;
// spoken once per directory.
std::vector<float> spokenSound(const QString& directory, const QString& sentence, QString* error)
{
    const QString hash = QString::fromLatin1(QCryptographicHash::hash(sentence.toUtf8(), QCryptographicHash::Md5).toHex());
    const QString path = QDir(directory).filePath(QStringLiteral("spoken-%1.wav").arg(hash));
    if (!QFile::exists(path) && !runTool(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), path, sentence}, error))
        return {};
    const std::vector<float> samples = readMonoWav(path);
    auto isSound = [](float sample) { return std::fabs(sample) > soundLevel; };
    const auto first = std::find_if(samples.begin(), samples.end(), isSound);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), isSound);
    if (first == samples.end()) {
        *error = QStringLiteral("espeak-ng made no sound for \"%1\"").arg(sentence);
        return {};
    }
    return std::vector<float>(first, last.base());
}

}  // namespace

Recipe lesson()
{
    Recipe recipe;
    recipe.sentences = {
        QStringLiteral("The train leaves the station at seven in the morning"),
        QStringLiteral("My sister likes to read old books about history"),
        QStringLiteral("Please close the window before you go to bed"),
        QStringLiteral("We walked along the river until the sun went down"),
        QStringLiteral("Could you tell me where the nearest bank is"),
        QStringLiteral("He bought fresh bread and cheese at the market"),
    };
    recipe.pausesSeconds = {0.45, 0.7, 0.4, 0.8, 0.55};
    return recipe;
}

bool runTool(const QString& program, const QStringList& arguments, QString* error)
{
    QTemporaryFile output;
    if (!output.open()) {
        *error = QStringLiteral("cannot make a file for %1's output").arg(program);
        return false;
    }
    std::vector<QByteArray> words{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output.handle(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output.handle(), STDERR_FILENO);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned == 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    output.seek(0);
    *error = QStringLiteral("%1 failed: %2").arg(program, spawned != 0 ? QString::fromLocal8Bit(std::strerror(spawned))
                                                                      : QString::fromLocal8Bit(output.readAll()).trimmed());
    return false;
}

QString missingTool()
{
    for (const QString& tool : {QStringLiteral("espeak-ng"), QStringLiteral("ffmpeg")})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return tool;
    return {};
}

std::optional<Recording> make(const QString& directory, const QString& name, const Recipe& recipe, QString* error)
{
    if (recipe.sentences.isEmpty() || recipe.pausesSeconds.size() + 1 != std::size_t(recipe.sentences.size())) {
        *error = QStringLiteral("a recipe needs one pause fewer than sentences");
        return std::nullopt;
    }
    auto frames = [](double seconds) { return std::size_t(std::lround(seconds * spokenRate)); };
    Recording recording;
    std::vector<float> samples(frames(recipe.leadSeconds), 0.0f);
    for (qsizetype i = 0; i < recipe.sentences.size(); ++i) {
        if (i > 0)
            samples.resize(samples.size() + frames(recipe.pausesSeconds[std::size_t(i) - 1]), 0.0f);
        const std::vector<float> sound = spokenSound(directory, recipe.sentences[i], error);
        if (sound.empty())
            return std::nullopt;
        recording.sentences.push_back({double(samples.size()) / spokenRate,
                                       double(samples.size() + sound.size()) / spokenRate});
        samples.insert(samples.end(), sound.begin(), sound.end());
    }
    samples.resize(samples.size() + frames(recipe.tailSeconds), 0.0f);
    recording.durationSeconds = double(samples.size()) / spokenRate;
    if (recipe.noiseDecibels) {
        std::mt19937 random(20240611);
        std::normal_distribution<float> noise(0.0f, float(std::pow(10.0, *recipe.noiseDecibels / 20.0)));
        for (float& sample : samples)
            sample += noise(random);
    }

    const QDir folder(directory);
    recording.path = folder.filePath(QStringLiteral("%1.%2").arg(name, recipe.format));
    const QString laidOut = folder.filePath(QStringLiteral("%1-laid-out.wav").arg(name));
    if (!writeMonoWav(laidOut, samples)) {
        *error = QStringLiteral("cannot write %1").arg(laidOut);
        return std::nullopt;
    }
    const QStringList codec = recipe.format == QLatin1String("m4a")
        ? QStringList{QStringLiteral("-c:a"), QStringLiteral("aac")}
        : QStringList{QStringLiteral("-c:a"), QStringLiteral("libmp3lame")};
    const QStringList arguments = QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                                              QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-i"),
                                              laidOut, QStringLiteral("-ar"), QStringLiteral("44100")}
        + codec + QStringList{QStringLiteral("-b:a"), QStringLiteral("96k"), recording.path};
    const bool encoded = runTool(QStringLiteral("ffmpeg"), arguments, error);
    QFile::remove(laidOut);
    return encoded ? std::optional<Recording>(recording) : std::nullopt;
}

}  // namespace SpeechFixture
