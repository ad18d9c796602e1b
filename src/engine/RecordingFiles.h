// A connector's recordings folder: one asciicast file from each start, named by its local start
// time ("2026-12-09_03-12-07.cast"), and the rule that keeps the folder within its bounds: a
// file older than the retention, and then the oldest while all of them together are beyond the
// total, are removed.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>

namespace tolvi {

struct RecordingLimits {
    uint64_t fileBytes = 64ull << 20;   // a new file begins when one reaches this
    uint64_t totalBytes = 1ull << 30;   // what the folder's recordings may take together
    int days = 30;                      // files last written longer ago are removed
};

// Whether name is one of the recordings' names: digits and separators, then ".cast".
bool IsRecordingName(const std::string& name);

// The name of a recording that begins at start, in local time; with a second one of the same
// second (rotation by size can do that), "_002" and so on before ".cast".
std::string RecordingName(std::chrono::system_clock::time_point start, int nth = 1);

// The next local midnight after at: a recording's day ends there.
std::chrono::system_clock::time_point NextLocalMidnight(std::chrono::system_clock::time_point at);

// Removes the folder's recordings (never keep, the one being written) last written more than
// limits.days before now, then, oldest first, while the others take more than
// limits.totalBytes. Returns how many it removed.
int PruneRecordings(const std::string& folder, const RecordingLimits& limits,
                    const std::string& keep, std::chrono::system_clock::time_point now);

}  // namespace tolvi
