#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <vector>

// A track's hop levels (see PhraseMap) and its length: the part of a phrase
// map that costs a whole decode, and so the part that is cached.
struct LoudnessEnvelope {
    std::vector<float> levelsDecibels;
    double durationSeconds = 0;

    bool operator==(const LoudnessEnvelope&) const = default;
};

// Decodes a whole file once, at its own rate, and measures its hop levels.
// Streams: memory holds the levels and one decoding buffer, whatever the
// file's length. Runs on the calling thread.
namespace LoudnessScan {

// Called after every read (some 0.2 s of audio) with the share done (0...1);
// returning false stops the scan, which then returns nothing.
using KeepGoing = std::function<bool(double fractionDone)>;

// Nothing when the file cannot be decoded (error says why) or when stopped
// (error left empty). A file whose data breaks off partway is measured as
// far as it decodes. When reading the file failed partway (a drive or a
// network mount dropping out, not a file that simply ends), readFailure says
// why and where: that envelope stands for the moment, not for the file.
std::optional<LoudnessEnvelope> run(const QString& path, const KeepGoing& keepGoing, QString* error,
                                    QString* readFailure = nullptr);

}  // namespace LoudnessScan
