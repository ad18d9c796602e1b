// The connectors' settings and the two options in their registry key: read once at start,
// written whole after every change. The key's layout is the program's external format; this
// only reads and writes it and builds nothing.
#pragma once
#include <string>
#include <vector>

#include "engine/ConnectorSettings.h"
#include "platform/KeyValueStore.h"

namespace tolvi {

extern const char kConfigurationKey[];  // under HKEY_CLASSES_ROOT
extern const char kBackupSuffix[];      // appended to the key's name for its one backup

struct AppOptions {
    bool AutoStart = false;
    bool ExitToTray = false;
};

struct StoredConfiguration {
    std::vector<ConnectorSettings> connectors;  // the readable entries, in the key's order
    AppOptions options;
    struct Unreadable {
        int index;
        std::string pipeName;  // empty when that could not be read either
    };
    std::vector<Unreadable> unreadable;
    // The key holds what the next save would not write back the same (an entry that could
    // not be read, a text too long to save): it is to be copied aside before that save.
    bool needsBackup = false;
};

// Reads the key. A missing key gives no connectors and the defaults; a missing option its
// default; numbers are read from text or from REG_DWORD and REG_QWORD values; texts of any
// length are read. An entry without a readable pipe name or port is listed as unreadable.
StoredConfiguration LoadConfiguration(platform::KeyValueStore& store, const AppOptions& defaults);

// The one message that names the entries a load could not read; "" when there are none.
std::string UnreadableEntriesMessage(const StoredConfiguration& loaded);

enum class SaveResult { Saved, NoKey, WriteFailed };

// Writes the count, every connector's values (its six settings, then its three console
// options) and the options, in that order; the first write that fails, or a text too long
// to be read back, ends the save.
SaveResult SaveConfiguration(platform::KeyValueStore& store,
                             const std::vector<ConnectorSettings>& connectors,
                             const AppOptions& options);

// Copies every value of from, as it is, into to (created when missing).
platform::SysError CopyConfiguration(platform::KeyValueStore& from, platform::KeyValueStore& to);

}  // namespace tolvi
