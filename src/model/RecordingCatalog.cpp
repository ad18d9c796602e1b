// Reading the recordings' files for their list.
#include "model/RecordingCatalog.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "engine/RecordingFiles.h"
#include "engine/SafeText.h"
#include "model/ConsolesJson.h"
#include "platform/ErrorText.h"
#include "platform/Folder.h"

namespace tolvi {

namespace {

// A line whose third member is text: a marker's label.
bool LabelOf(const std::string& line, std::string* label) {
    nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (!event.is_array() || event.size() < 3 || !event[2].is_string())
        return false;
    *label = event[2].get<std::string>();
    return true;
}

}  // namespace

void RecordingCatalog::ReadOn(const std::string& path, uint64_t size, Known* k) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in || !in.seekg(static_cast<std::streamoff>(k->scanned)))
        return;
    std::string line;
    uint64_t at = k->scanned;
    while (at < size && std::getline(in, line)) {
        if (in.eof())
            break;  // a line not yet ended: read again when it is
        at += line.size() + 1;
        if (k->scanned == 0) {
            nlohmann::json header = nlohmann::json::parse(line, nullptr, false);
            if (header.is_object() && header.value("timestamp", nlohmann::json()).is_number()) {
                k->info.start = std::chrono::system_clock::time_point(
                    std::chrono::seconds(header["timestamp"].get<int64_t>()));
            }
            if (header.is_object() && header.value("title", nlohmann::json()).is_string())
                k->info.title = header["title"].get<std::string>();
        } else if (line.size() > 1 && line[0] == '[') {
            // [12.345678, "m", "label"]: the time and the code are read without a parser.
            char* end = nullptr;
            double seconds = std::strtod(line.c_str() + 1, &end);
            if (end && seconds > k->lastSeconds)
                k->lastSeconds = seconds;
            if (end && std::string(end).compare(0, 6, ", \"m\",") == 0) {
                ++k->info.markers;
                std::string label;
                if (k->info.alerts.size() < kMostAlerts && LabelOf(line, &label) &&
                    label.compare(0, 7, "alert: ") == 0)
                    k->info.alerts.push_back(RecordingMarker{seconds, label});
            }
        }
        k->scanned = at;
    }
    k->info.end = k->info.start + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                      std::chrono::duration<double>(k->lastSeconds));
}

bool RecordingCatalog::List(const std::string& folder, std::vector<RecordingInfo>* recordings,
                            std::string* why) {
    recordings->clear();
    std::vector<platform::FolderEntry> entries;
    platform::SysError error = platform::ListFolder(folder, &entries);
    if (error.Failed()) {
        *why = platform::GetSystemErrorText(error.code);
        return false;
    }
    std::lock_guard<std::mutex> hold(lock);
    for (const platform::FolderEntry& e : entries) {
        if (e.folder || !IsRecordingName(e.name))
            continue;
        std::string path = platform::JoinPath(folder, e.name);
        Known& k = known[path];
        if (e.size < k.scanned)
            k = Known{};  // a new file of the same name
        if (e.size > k.scanned)
            ReadOn(path, e.size, &k);
        k.info.name = e.name;
        k.info.size = e.size;
        recordings->push_back(k.info);
    }
    // Forget the files that are gone, so that the map holds no more than the folders do.
    for (auto it = known.begin(); it != known.end();) {
        bool here = it->first.compare(0, folder.size(), folder) != 0 ||
                    std::any_of(recordings->begin(), recordings->end(), [&](const auto& r) {
                        return it->first == platform::JoinPath(folder, r.name);
                    });
        it = here ? std::next(it) : known.erase(it);
    }
    std::sort(recordings->begin(), recordings->end(),
              [](const auto& a, const auto& b) { return a.name > b.name; });
    return true;
}

std::string RecordingsJson(const std::vector<RecordingInfo>& recordings) {
    nlohmann::json all = nlohmann::json::array();
    for (const RecordingInfo& r : recordings) {
        nlohmann::json alerts = nlohmann::json::array();
        for (const RecordingMarker& m : r.alerts)
            alerts.push_back({{"seconds", m.seconds}, {"label", ValidUtf8(m.label)}});
        all.push_back({{"name", r.name},
                       {"title", ValidUtf8(r.title)},
                       {"start", JsonTime(r.start)},
                       {"end", JsonTime(r.end)},
                       {"size", r.size},
                       {"markers", r.markers},
                       {"alerts", alerts}});
    }
    return all.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tolvi
