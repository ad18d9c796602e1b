// Loading and saving the configuration key.
#include "config/ConfigurationStore.h"

#include <algorithm>
#include <cstring>

#include "engine/Format.h"
#include "engine/PortText.h"

namespace tolvi {

const char kConfigurationKey[] = "Interface\\{C6816504-FA48-4d67-B74A-FA386CA5ECC1}";
const char kBackupSuffix[] = ".backup";

namespace {

constexpr size_t kLongestText = 254;    // what a save writes: 255 bytes with the NUL
constexpr size_t kMessageEntries = 10;  // unreadable entries named one by one

// Keeps the key open for one load or save and closes it on every way out.
class OpenKey {
  public:
    explicit OpenKey(platform::KeyValueStore& store) : store_(store) {}
    ~OpenKey() { store_.Close(); }

  private:
    platform::KeyValueStore& store_;
};

uint64_t LittleEndian(const std::string& bytes, size_t size) {
    uint64_t n = 0;
    for (size_t i = size; i-- > 0;)
        n = n << 8 | static_cast<uint8_t>(bytes[i]);
    return n;
}

// A value as text: the bytes up to the first NUL whatever the type, except that a number
// stored as a number reads as its decimal text.
bool ReadText(platform::KeyValueStore& store, const std::string& name, std::string* text) {
    platform::StoredValue value;
    if (store.QueryValue(name, &value).Failed())
        return false;
    if (value.type == platform::kTypeDword && value.bytes.size() >= 4) {
        *text = std::to_string(static_cast<int32_t>(LittleEndian(value.bytes, 4)));
    } else if (value.type == platform::kTypeQword && value.bytes.size() >= 8) {
        *text = std::to_string(static_cast<int64_t>(LittleEndian(value.bytes, 8)));
    } else {
        *text = std::string(value.bytes.c_str(), strnlen(value.bytes.c_str(), value.bytes.size()));
    }
    return true;
}

bool ReadNumber(platform::KeyValueStore& store, const std::string& name, int* number) {
    std::string text;
    if (!ReadText(store, name, &text))
        return false;
    *number = TextToInt(text);
    return true;
}

// A flag or an option: a missing one keeps its default.
void ReadFlag(platform::KeyValueStore& store, const std::string& name, bool* flag) {
    int number = 0;
    if (ReadNumber(store, name, &number))
        *flag = number != 0;
}

// The number of entries: PipeNum, or, when that is missing, as many as have a pipe name.
int EntryCount(platform::KeyValueStore& store) {
    int count = 0;
    if (ReadNumber(store, "PipeNum", &count))
        return count;
    std::string unused;
    while (ReadText(store, Format("PipeName%d", count), &unused))
        ++count;
    return count;
}

// Writes text and its NUL as REG_MULTI_SZ; a text too long to be read back is refused.
bool WriteText(platform::KeyValueStore& store, const std::string& name, const std::string& text) {
    if (text.size() > kLongestText)
        return false;
    return !store.SetValue(name, platform::kTypeMultiString, text.c_str(), text.size() + 1)
                .Failed();
}

std::string Flag(bool value) {
    return value ? "1" : "0";
}

}  // namespace

StoredConfiguration LoadConfiguration(platform::KeyValueStore& store, const AppOptions& defaults) {
    StoredConfiguration loaded;
    loaded.options = defaults;
    if (store.OpenForRead().Failed())
        return loaded;  // first run
    OpenKey key(store);
    ReadFlag(store, "AutoStart", &loaded.options.AutoStart);
    ReadFlag(store, "ExitToTray", &loaded.options.ExitToTray);
    int entries = EntryCount(store);
    for (int i = 0; i < entries; ++i) {
        ConnectorSettings s;
        bool named = ReadText(store, Format("PipeName%d", i), &s.pipeName);
        if (!named || !ReadText(store, Format("Port%d", i), &s.portText)) {
            loaded.unreadable.push_back({i, named ? s.pipeName : ""});
            continue;
        }
        ReadText(store, Format("Description%d", i), &s.description);
        ReadFlag(store, Format("NonLocal%d", i), &s.allowNonLocal);
        ReadFlag(store, Format("EnAcl%d", i), &s.listOnly);
        ReadText(store, Format("Acl%d", i), &s.clientList);
        // The console options came later: an entry without them keeps the old behaviour.
        ReadNumber(store, Format("MaxClients%d", i), &s.maxClients);
        ReadText(store, Format("LogFile%d", i), &s.logFile);
        ReadNumber(store, Format("Replay%d", i), &s.replayKiB);
        s.maxClients = std::clamp(s.maxClients, 1, kMaxClientsLimit);
        s.replayKiB = std::clamp(s.replayKiB, 0, kReplayKiBLimit);
        for (const std::string* text :
             {&s.pipeName, &s.portText, &s.description, &s.clientList, &s.logFile}) {
            if (text->size() > kLongestText)
                loaded.needsBackup = true;
        }
        loaded.connectors.push_back(std::move(s));
    }
    if (!loaded.unreadable.empty())
        loaded.needsBackup = true;
    return loaded;
}

std::string UnreadableEntriesMessage(const StoredConfiguration& loaded) {
    std::string message;
    size_t shown = 0;
    for (const auto& entry : loaded.unreadable) {
        if (shown == kMessageEntries) {
            message +=
                Format("\n... and %d more", static_cast<int>(loaded.unreadable.size() - shown));
            break;
        }
        if (!message.empty())
            message += "\n";
        message += Format("Could not load connector %d", entry.index);
        if (!entry.pipeName.empty())
            message += " (" + entry.pipeName + ")";
        ++shown;
    }
    return message;
}

SaveResult SaveConfiguration(platform::KeyValueStore& store,
                             const std::vector<ConnectorSettings>& connectors,
                             const AppOptions& options) {
    if (store.OpenForWrite().Failed())
        return SaveResult::NoKey;
    OpenKey key(store);
    int count = static_cast<int>(connectors.size());
    bool ok = WriteText(store, "PipeNum", Format("%d", count));
    for (int i = 0; ok && i < count; ++i) {
        const ConnectorSettings& c = connectors[static_cast<size_t>(i)];
        ok = WriteText(store, Format("PipeName%d", i), c.pipeName) &&
             WriteText(store, Format("Port%d", i), c.portText) &&
             WriteText(store, Format("Description%d", i), c.description) &&
             WriteText(store, Format("NonLocal%d", i), Flag(c.allowNonLocal)) &&
             WriteText(store, Format("EnAcl%d", i), Flag(c.listOnly)) &&
             WriteText(store, Format("Acl%d", i), c.clientList) &&
             WriteText(store, Format("MaxClients%d", i), Format("%d", c.maxClients)) &&
             WriteText(store, Format("LogFile%d", i), c.logFile) &&
             WriteText(store, Format("Replay%d", i), Format("%d", c.replayKiB));
    }
    ok = ok && WriteText(store, "AutoStart", Flag(options.AutoStart)) &&
         WriteText(store, "ExitToTray", Flag(options.ExitToTray));
    return ok ? SaveResult::Saved : SaveResult::WriteFailed;
}

platform::SysError CopyConfiguration(platform::KeyValueStore& from, platform::KeyValueStore& to) {
    platform::SysError error = from.OpenForRead();
    std::vector<platform::StoredValue> values;
    if (!error.Failed())
        error = from.ListValues(&values);
    from.Close();
    if (error.Failed())
        return error;
    if ((error = to.OpenForWrite()).Failed())
        return error;
    OpenKey key(to);
    for (const platform::StoredValue& v : values) {
        if ((error = to.SetValue(v.name, v.type, v.bytes.data(), v.bytes.size())).Failed())
            return error;
    }
    return {};
}

}  // namespace tolvi
