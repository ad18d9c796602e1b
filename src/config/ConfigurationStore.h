// The connectors and the two options in their registry key: loaded once at start, saved
// whole after every change. The key's layout is the program's external format.
#pragma once
#include <memory>
#include <string>

#include "engine/PipeConnector.h"
#include "platform/KeyValueStore.h"

namespace tolvi {

extern const char kConfigurationKey[];  // under HKEY_CLASSES_ROOT

struct AppOptions {
    bool AutoStart = false;
    bool ExitToTray = false;
};

// The connector list as the store needs it: rows in order, each owning its connector.
class ConnectorRows {
  public:
    virtual ~ConnectorRows() = default;
    virtual int GetRowCount() const = 0;
    virtual PipeConnector* GetRowConnector(int row) const = 0;
    virtual int AppendConnectorRow(std::unique_ptr<PipeConnector> connector,
                                   const std::string& pipeName, const std::string& portText,
                                   const std::string& description) = 0;
};

// Appends and starts one connector per stored entry and reads the options. False when a value
// was missing or too long; the entries before it stay loaded.
bool LoadConfiguration(platform::KeyValueStore& store, ConnectorRows& rows, AppOptions& options);

// Writes the count, every row's six values and the options. False, after the message "Could
// not save registry key", when the key can be neither opened nor created, a write fails or a
// text is too long to be read back; nothing is written after the failure.
bool SaveConfiguration(platform::KeyValueStore& store, const ConnectorRows& rows,
                       const AppOptions& options);

}  // namespace tolvi
