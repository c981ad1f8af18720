#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Listens to what a loop sounded like: maps every output frame onto a
// straight decode of the same track and reports each place where the output
// stops following the track. The track must be one whose every frame can be
// told apart (the chirp fixtures), the output interleaved stereo at the
// decode's rate.
namespace LoopListener {

struct Junction {
    std::int64_t at = 0;          // output frame where the output left the straight run
    std::int64_t leftAfter = 0;   // the last stream frame heard before it, plus one
    std::int64_t rejoinedAt = 0;  // the stream frame the output went on with after it
    std::int64_t length = 0;      // output frames that follow neither run
    std::int64_t silentFrames = 0;  // of those, how many are silence
    double largestStep = 0;       // the largest step between two neighbouring output samples there
};

struct Report {
    std::vector<Junction> junctions;
    std::int64_t framesFollowed = 0;  // output frames found on a straight run
    std::int64_t lostTrack = -1;      // output frame from which nothing could be placed; -1: all placed
};

// Knows every frame of one straight decode by its value.
class Listener {
public:
    explicit Listener(const std::vector<float>& straight);
    ~Listener();

    // from: the stream frame the output starts at. Straight runs are
    // recognised when at least minimumRun frames follow the decode exactly.
    Report listen(const std::vector<float>& output, std::int64_t from, int minimumRun = 32) const;

private:
    struct Index;
    const std::vector<float>& m_straight;
    std::unique_ptr<Index> m_index;
};

// The largest step between neighbouring samples of the straight decode over
// [begin, end): what the signal does by itself.
double largestStep(const std::vector<float>& straight, std::int64_t begin, std::int64_t end);

}  // namespace LoopListener
