#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Puts a decoder through what playback does to a file: open it, read its
// length, seek to a few places, read on from each, then decode it from the
// start to the end. Collects every promise of DecodeStream that did not hold.
// Shared by the decoding fuzzer and the test that replays what it found, so
// that both drive the code the same way.
namespace DecodeWorkout {

struct Plan {
    int outputRate = 48000;
    QString suffix = QStringLiteral("mp3");  // the file name's extension, which FFmpeg's probe may weigh
    std::vector<double> seekFractions;       // of the length; outside 0...1 on purpose, too
    int chunkFrames = 512;                   // frames asked for per read
    // Bounds the work on one input: a file may claim, and even hold, hours.
    std::int64_t maxFramesPerPass = 2'000'000;
    double deadlineSeconds = 20;             // a hang guard, far above any real decode
};

// A fuzz input: its last four bytes steer the plan (output rate, suffix,
// seeks, read size); the bytes before them are the file.
struct Input {
    QByteArray file;
    Plan plan;
};
Input split(const QByteArray& bytes);

struct Report {
    bool opened = false;
    QString error;             // the load error, when it did not open
    double durationSeconds = 0;
    int inputRate = 0;
    int inputChannels = 0;
    QString formatName;              // the demuxer that read it
    std::int64_t lengthFrames = 0;   // at the output rate
    std::int64_t framesDecoded = 0;  // in the straight pass from the start
    bool stoppedAtWorkLimit = false;
    QStringList brokenPromises;      // empty when everything held
};

// Runs the plan on the file at path.
Report run(const QString& path, const Plan& plan);

}  // namespace DecodeWorkout
