// The recordings' names and their folder's bounds.
#include "engine/RecordingFiles.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "engine/Format.h"
#include "engine/LineStamps.h"
#include "platform/Folder.h"

namespace tolvi {

bool IsRecordingName(const std::string& name) {
    const std::string ending = ".cast";
    if (name.size() <= ending.size() || name.compare(name.size() - ending.size(), ending.size(), ending) != 0)
        return false;
    return std::all_of(name.begin(), name.end() - static_cast<long>(ending.size()), [](char c) {
        return (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
    });
}

std::string RecordingName(std::chrono::system_clock::time_point start, int nth) {
    std::tm t = TimeParts(start, false);
    std::string name = Format("%04d-%02d-%02d_%02d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1,
                              t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    if (nth > 1)
        name += Format("_%03d", nth);  // after the first of its second, by name too
    return name + ".cast";
}

std::chrono::system_clock::time_point NextLocalMidnight(std::chrono::system_clock::time_point at) {
    std::tm t = TimeParts(at, false);
    t.tm_mday += 1;
    t.tm_hour = t.tm_min = t.tm_sec = 0;
    t.tm_isdst = -1;  // whatever daylight saving time says at that midnight
    std::time_t midnight = std::mktime(&t);
    if (midnight == static_cast<std::time_t>(-1))
        return at + std::chrono::hours(24);
    return std::chrono::system_clock::from_time_t(midnight);
}

int PruneRecordings(const std::string& folder, const RecordingLimits& limits,
                    const std::string& keep, std::chrono::system_clock::time_point now) {
    std::vector<platform::FolderEntry> entries;
    if (platform::ListFolder(folder, &entries).Failed())
        return 0;
    std::vector<platform::FolderEntry> files;
    uint64_t total = 0;  // the one being written counts, though it stays
    for (platform::FolderEntry& e : entries) {
        if (e.folder || !IsRecordingName(e.name))
            continue;
        total += e.size;
        if (e.name != keep)
            files.push_back(std::move(e));
    }
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.modified < b.modified; });
    const auto oldest = now - std::chrono::hours(24) * limits.days;
    int removed = 0;
    for (const auto& f : files) {
        if (f.modified >= oldest && total <= limits.totalBytes)
            break;
        if (platform::RemoveFile(platform::JoinPath(folder, f.name)).Failed())
            continue;  // held open by a reader: taken out next time
        total -= f.size;
        ++removed;
    }
    return removed;
}

}  // namespace tolvi
