#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Spoken recordings with known phrase boundaries, made at test time: each
// sentence is spoken by espeak-ng, trimmed to its own first and last sound,
// and laid after the previous one with a known pause between, over optional
// background noise; then encoded with ffmpeg. Where each sentence's sound
// lies in the result is known from how it was laid out.
namespace SpeechFixture {

// Where one sentence's sound lies in the recording.
struct Span {
    double startSeconds = 0;
    double endSeconds = 0;
};

struct Recipe {
    QStringList sentences;              // no commas: each is one phrase
    std::vector<double> pausesSeconds;  // between sentence i's last sound and i + 1's first
    double leadSeconds = 0.5;           // before the first sound
    double tailSeconds = 0.5;           // after the last
    std::optional<double> noiseDecibels;  // white noise under it all, RMS in dB of full scale
    QString format = QStringLiteral("mp3");  // "mp3" or "m4a"
};

struct Recording {
    QString path;
    std::vector<Span> sentences;
    double durationSeconds = 0;
};

// Six sentences of two to three seconds each, pauses of 0.4 to 0.8 s.
Recipe lesson();

// Runs a command-line tool to its end; false with its output as the error
// when it fails. Through posix_spawn, not QProcess: QProcess starts the child
// with a vfork-style clone that ThreadSanitizer takes for a fork of the whole
// process, after which it stops the test at the next thread it starts.
bool runTool(const QString& program, const QStringList& arguments, QString* error);

// The tool that is missing (espeak-ng or ffmpeg), for a skip message; empty
// when both are there.
QString missingTool();

// Makes the recording as directory/name.<format>. Spoken sentences are kept
// in directory and reused by later calls. Nothing, with error set, on failure.
std::optional<Recording> make(const QString& directory, const QString& name, const Recipe& recipe, QString* error);

}  // namespace SpeechFixture
