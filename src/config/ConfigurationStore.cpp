// Loading and saving the configuration key.
#include "config/ConfigurationStore.h"

#include <cstring>

#include "engine/Alert.h"
#include "engine/Format.h"
#include "engine/PortText.h"

namespace tolvi {

const char kConfigurationKey[] = "Interface\\{C6816504-FA48-4d67-B74A-FA386CA5ECC1}";

namespace {

constexpr size_t kReadCapacity = 255;  // bytes a value may have to be read back
constexpr size_t kLongestText = 254;   // characters that fit with their NUL

// Keeps the key open for one load or save and closes it on every way out.
class OpenKey {
  public:
    explicit OpenKey(platform::KeyValueStore& store) : store_(store) {}
    ~OpenKey() { store_.Close(); }

  private:
    platform::KeyValueStore& store_;
};

bool ReadText(platform::KeyValueStore& store, const std::string& name, std::string* text) {
    char buffer[kReadCapacity + 1] = {};
    size_t size = kReadCapacity;
    uint32_t type = 0;  // whatever the type, the bytes are taken as text
    if (!store.QueryValue(name, &type, buffer, &size))
        return false;
    *text = std::string(buffer, strnlen(buffer, size));
    return true;
}

bool ReadFlag(platform::KeyValueStore& store, const std::string& name, bool* flag) {
    std::string text;
    if (!ReadText(store, name, &text))
        return false;
    *flag = TextToInt(text) != 0;
    return true;
}

// Writes text and its NUL as REG_MULTI_SZ; a text too long to be read back is refused.
bool WriteText(platform::KeyValueStore& store, const std::string& name, const std::string& text) {
    if (text.size() > kLongestText)
        return false;
    return store.SetValue(name, platform::kTypeMultiString, text.c_str(), text.size() + 1);
}

std::string Flag(bool value) {
    return value ? "1" : "0";
}

}  // namespace

bool LoadConfiguration(platform::KeyValueStore& store, ConnectorRows& rows, AppOptions& options) {
    if (!store.OpenForRead())
        return true;  // first run
    OpenKey key(store);
    std::string count;
    if (!ReadFlag(store, "AutoStart", &options.AutoStart) ||
        !ReadFlag(store, "ExitToTray", &options.ExitToTray) ||
        !ReadText(store, "PipeNum", &count)) {
        return false;
    }
    int entries = TextToInt(count);
    for (int i = 0; i < entries; ++i) {
        std::string pipeName, portText, description, clientList;
        bool allowNonLocal = false, listOnly = false;
        if (!ReadText(store, Format("PipeName%d", i), &pipeName) ||
            !ReadText(store, Format("Port%d", i), &portText) ||
            !ReadText(store, Format("Description%d", i), &description) ||
            !ReadFlag(store, Format("NonLocal%d", i), &allowNonLocal) ||
            !ReadFlag(store, Format("EnAcl%d", i), &listOnly) ||
            !ReadText(store, Format("Acl%d", i), &clientList)) {
            return false;
        }
        auto connector = std::make_unique<PipeConnector>(pipeName, portText, description);
        connector->SetAdmission(allowNonLocal, listOnly, clientList);
        PipeConnector* c = connector.get();
        rows.AppendConnectorRow(std::move(connector), pipeName, portText, description);
        // A port that cannot be opened leaves the entry listed in Error, kept for the next save.
        if (c->CreateListener())
            c->StartWorker();
    }
    return true;
}

bool SaveConfiguration(platform::KeyValueStore& store, const ConnectorRows& rows,
                       const AppOptions& options) {
    if (!store.OpenForWrite()) {
        // A configuration that cannot be kept must not be lost without a word.
        ShowAlert("Could not save registry key");
        return false;
    }
    OpenKey key(store);
    int count = rows.GetRowCount();
    bool ok = WriteText(store, "PipeNum", Format("%d", count));
    for (int i = 0; ok && i < count; ++i) {
        const PipeConnector& c = *rows.GetRowConnector(i);
        ok = WriteText(store, Format("PipeName%d", i), c.GetPipeName()) &&
             WriteText(store, Format("Port%d", i), c.GetPortText()) &&
             WriteText(store, Format("Description%d", i), c.GetDescription()) &&
             WriteText(store, Format("NonLocal%d", i), Flag(c.AllowsNonLocal())) &&
             WriteText(store, Format("EnAcl%d", i), Flag(c.IsListOnly())) &&
             WriteText(store, Format("Acl%d", i), c.GetClientList());
    }
    ok = ok && WriteText(store, "AutoStart", Flag(options.AutoStart)) &&
         WriteText(store, "ExitToTray", Flag(options.ExitToTray));
    if (!ok)
        ShowAlert("Could not save registry key");
    return ok;
}

}  // namespace tolvi
