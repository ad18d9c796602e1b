// The connectors' settings and the program's options in their registry key: read once at start,
// written whole after every change. The key's layout is the program's external format; this
// only reads and writes it and builds nothing.
#pragma once
#include <string>
#include <vector>

#include "engine/ConnectorSettings.h"
#include "model/ConnectorOptions.h"
#include "platform/KeyValueStore.h"

namespace tolvi {

extern const char kConfigurationKey[];  // under HKEY_CLASSES_ROOT
extern const char kBackupSuffix[];      // appended to the key's name for its one backup

struct AppOptions {
    bool AutoStart = false;
    bool ExitToTray = false;
    int WebConsolePort = 0;  // where the consoles are served in the browser; 0: any free port
    int SshPort = 0;         // where the consoles are served over SSH; 0: not at all
    std::string SshListen = "";  // the SSH server's address; "": every interface of both families
};

struct StoredConfiguration {
    std::vector<ConnectorSettings> connectors;  // the readable entries, in the key's order
    AppOptions options;
    // What could not be taken as stored, one line each for the user, in the key's order: the
    // count when it does not match the entries found, each entry that could not be read, each
    // option outside its range.
    std::vector<std::string> problems;
    // The key holds what the next save would not write back the same (an entry that could
    // not be read, a text too long to save, a value taken other than as stored, entries
    // renumbered): it is to be copied aside before that save.
    bool needsBackup = false;
};

// Reads the key. The entries are the indices that appear in the entry values' names, loaded
// in index order, whatever PipeNum says; a missing key gives no connectors and the defaults;
// a missing value its default; numbers are read from text or from REG_DWORD and REG_QWORD
// values; texts of any length are read. An entry without a readable pipe name or port is
// named as unreadable.
StoredConfiguration LoadConfiguration(platform::KeyValueStore& store, const AppOptions& defaults);

// One message of lines: at most ten, then "... and N more"; "" when there are none.
std::string LinesMessage(const std::vector<std::string>& lines);

enum class SaveResult { Saved, NoKey, WriteFailed };

// Writes every connector's values (each of the options table's, in its order), the options,
// and the count last, then removes the values of entries beyond the count. All or
// nothing: a text too long to be read back is refused before anything is written, and a
// write that fails puts the key back as it was. reason, when given, tells why a save failed.
SaveResult SaveConfiguration(platform::KeyValueStore& store,
                             const std::vector<ConnectorSettings>& connectors,
                             const AppOptions& options, std::string* reason = nullptr);

// Makes to hold every value of from, as it is, and nothing else (to is created when missing).
platform::SysError CopyConfiguration(platform::KeyValueStore& from, platform::KeyValueStore& to);

}  // namespace tolvi
