// A connector's recordings as the web console lists them: each file's start, end, size and
// markers, read from the file itself (its header, its events' times, its "m" events). A file
// is read once; one that grows (the one being written) is read on from where it was.
#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tolvi {

struct RecordingMarker {
    double seconds = 0;  // from the recording's start
    std::string label;
};

struct RecordingInfo {
    std::string name;  // the file's, "2026-12-09_03-12-07.cast"
    uint64_t size = 0;
    std::chrono::system_clock::time_point start, end;
    std::string title;
    int markers = 0;
    std::vector<RecordingMarker> alerts;  // the markers of alerts, the first kMostAlerts
};

class RecordingCatalog {
  public:
    static constexpr size_t kMostAlerts = 100;

    // The recordings in folder, newest first; a folder that is not there has none. False, with
    // the system's reason, when it cannot be read (a service's folder, for administrators only).
    bool List(const std::string& folder, std::vector<RecordingInfo>* recordings,
              std::string* why);

  private:
    struct Known {
        uint64_t scanned = 0;  // up to the end of the last whole line read
        RecordingInfo info;
        double lastSeconds = 0;
    };
    // Reads path on from known->scanned up to size.
    static void ReadOn(const std::string& path, uint64_t size, Known* known);

    std::mutex lock;
    std::map<std::string, Known> known;  // by path
};

// The recordings as the API gives them: [{"name", "start", "end", "size", "markers",
// "alerts": [{"seconds", "label"}]}].
std::string RecordingsJson(const std::vector<RecordingInfo>& recordings);

}  // namespace tolvi
