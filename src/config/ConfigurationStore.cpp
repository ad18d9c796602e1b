// Loading and saving the configuration key.
#include "config/ConfigurationStore.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "engine/Format.h"
#include "engine/PortText.h"
#include "model/ConnectorOptions.h"
#include "platform/Endpoint.h"
#include "platform/ErrorText.h"

namespace tolvi {

const char kConfigurationKey[] = "Interface\\{C6816504-FA48-4d67-B74A-FA386CA5ECC1}";
const char kBackupSuffix[] = ".backup";

namespace {

constexpr size_t kMessageLines = 10;  // lines named one by one in a message

// Keeps the key open for one load or save and closes it on every way out.
class OpenKey {
  public:
    explicit OpenKey(platform::KeyValueStore& store) : opened(store) {}
    ~OpenKey() { opened.Close(); }

  private:
    platform::KeyValueStore& opened;
};

// Value names compare as the registry compares them: without regard to case.
std::string Folded(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

// The index of an entry value's name ("Port12" is entry 12); false for any other name. An
// index is written without leading zeros and fits an int.
bool EntryIndex(const std::string& name, int* index) {
    const std::string folded = Folded(name);
    for (const ConnectorOption& option : ConnectorOptions()) {
        const std::string p = Folded(option.valueName);
        if (folded.compare(0, p.size(), p) != 0)
            continue;
        const std::string digits = folded.substr(p.size());
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos ||
            (digits.size() > 1 && digits[0] == '0')) {
            continue;
        }
        *index = TextToInt(digits);
        return true;
    }
    return false;
}

uint64_t LittleEndian(const std::string& bytes, size_t size) {
    uint64_t n = 0;
    for (size_t i = size; i-- > 0;)
        n = n << 8 | static_cast<uint8_t>(bytes[i]);
    return n;
}

// The key's values as a load reads them, by name.
class Values {
  public:
    explicit Values(std::vector<platform::StoredValue> list) {
        for (platform::StoredValue& v : list) {
            std::string name = Folded(v.name);
            byName.emplace(std::move(name), std::move(v));
        }
    }

    // A value as text: the bytes up to the first NUL whatever the type, except that a number
    // stored as a number reads as its decimal text.
    bool Text(const std::string& name, std::string* text) const {
        auto it = byName.find(Folded(name));
        if (it == byName.end())
            return false;
        const platform::StoredValue& value = it->second;
        if (value.type == platform::kTypeDword && value.bytes.size() >= 4) {
            *text = std::to_string(static_cast<int32_t>(LittleEndian(value.bytes, 4)));
        } else if (value.type == platform::kTypeQword && value.bytes.size() >= 8) {
            *text = std::to_string(static_cast<int64_t>(LittleEndian(value.bytes, 8)));
        } else {
            *text =
                std::string(value.bytes.c_str(), strnlen(value.bytes.c_str(), value.bytes.size()));
        }
        return true;
    }

    // A flag or an option: a missing one keeps its default.
    void Flag(const std::string& name, bool* flag) const {
        std::string text;
        if (Text(name, &text))
            *flag = TextToInt(text) != 0;
    }

  private:
    std::map<std::string, platform::StoredValue> byName;
};

// A number of entry index: a missing one keeps its default; one that is not a whole number
// within the option's bounds is brought into them, and that is named.
void ReadNumber(const Values& values, const ConnectorOption& option, int index,
                ConnectorSettings* settings, StoredConfiguration* loaded) {
    const std::string name = Format("%s%d", option.valueName, index);
    std::string text;
    if (!values.Text(name, &text))
        return;
    int& number = settings->*option.number;
    int read = 0;
    if (ReadWholeNumber(text, &read) && read >= option.low && read <= option.high) {
        number = read;
        return;
    }
    number = std::clamp(TextToInt(text), option.low, option.high);
    loaded->problems.push_back(Format("%s is \"%s\", not a number from %d to %d: %d is used",
                                      name.c_str(), text.c_str(), option.low, option.high, number));
    loaded->needsBackup = true;
}

// PipeNum against the entries found: every entry found is loaded whatever it says, and a
// count that cannot be read or does not match is named. Entries that do not run from 0 up
// without a gap are numbered anew by the next save.
void CheckCount(const Values& values, const std::set<int>& indices, StoredConfiguration* loaded) {
    const int found = static_cast<int>(indices.size());
    const bool gapless = indices.empty() || *indices.rbegin() == found - 1;
    std::string text;
    int count = 0;
    if (values.Text("PipeNum", &text) && !(ReadWholeNumber(text, &count) && count == found)) {
        if (found == 0) {
            loaded->problems.push_back(
                Format("PipeNum is \"%s\", but no connector was found", text.c_str()));
        } else if (found == 1) {
            loaded->problems.push_back(
                Format("PipeNum is \"%s\", but 1 connector was found: it is loaded", text.c_str()));
        } else {
            loaded->problems.push_back(
                Format("PipeNum is \"%s\", but %d connectors were found: all are loaded",
                       text.c_str(), found));
        }
        loaded->needsBackup = true;
    }
    if (!gapless)
        loaded->needsBackup = true;
}

std::string Describe(const platform::SysError& error) {
    return platform::GetSystemErrorText(error.code);
}

std::string Flag(bool value) {
    return value ? "1" : "0";
}

// Puts the open key back to before: what the save added goes, what it changed or removed
// comes back. As much of it as can be done is done.
void Restore(platform::KeyValueStore& store, const std::vector<platform::StoredValue>& before) {
    std::set<std::string> kept;
    for (const platform::StoredValue& v : before)
        kept.insert(Folded(v.name));
    std::vector<platform::StoredValue> now;
    store.ListValues(&now);
    for (const platform::StoredValue& v : now) {
        if (!kept.count(Folded(v.name)))
            store.DeleteValue(v.name);
    }
    for (const platform::StoredValue& v : before)
        store.SetValue(v.name, v.type, v.bytes.data(), v.bytes.size());
}

}  // namespace

StoredConfiguration LoadConfiguration(platform::KeyValueStore& store, const AppOptions& defaults) {
    StoredConfiguration loaded;
    loaded.options = defaults;
    if (store.OpenForRead().Failed())
        return loaded;  // first run
    OpenKey key(store);
    std::vector<platform::StoredValue> list;
    platform::SysError error = store.ListValues(&list);
    if (error.Failed()) {
        // Nothing can be loaded, and nothing is to be written over what is there unseen.
        loaded.problems.push_back("Could not read the stored connectors: " + Describe(error));
        loaded.needsBackup = true;
        return loaded;
    }
    std::set<int> indices;  // bounded by the values there are, whatever PipeNum says
    for (const platform::StoredValue& v : list) {
        int index = 0;
        if (EntryIndex(v.name, &index))
            indices.insert(index);
    }
    const Values values(std::move(list));
    values.Flag("AutoStart", &loaded.options.AutoStart);
    values.Flag("ExitToTray", &loaded.options.ExitToTray);
    std::string port;
    if (values.Text("WebConsolePort", &port)) {
        int number = 0;
        if (ReadWholeNumber(port, &number) && number <= 65535) {
            loaded.options.WebConsolePort = number;
        } else {
            loaded.problems.push_back(Format(
                "WebConsolePort is \"%s\", not a number from 0 to 65535: any free port is used",
                port.c_str()));
            loaded.needsBackup = true;
        }
    }
    if (values.Text("SshPort", &port)) {
        int number = 0;
        if (ReadWholeNumber(port, &number) && number <= 65535) {
            loaded.options.SshPort = number;
        } else {
            loaded.problems.push_back(Format(
                "SshPort is \"%s\", not a number from 0 to 65535: SSH is off", port.c_str()));
            loaded.needsBackup = true;
        }
    }
    std::string listen;
    if (values.Text("SshListen", &listen)) {
        platform::Endpoint at;
        if (listen.empty() || platform::ParseAddress(listen, &at)) {
            loaded.options.SshListen = listen;
        } else {
            loaded.problems.push_back(Format(
                "SshListen is \"%s\", not an address: SSH listens on every interface",
                listen.c_str()));
            loaded.needsBackup = true;
        }
    }
    CheckCount(values, indices, &loaded);
    for (int i : indices) {
        ConnectorSettings s;
        bool named = values.Text(Format("PipeName%d", i), &s.pipeName);
        if (!named || !values.Text(Format("Port%d", i), &s.portText)) {
            std::string line = Format("Could not load connector %d", i);
            if (named && !s.pipeName.empty())
                line += " (" + s.pipeName + ")";
            loaded.problems.push_back(line);
            loaded.needsBackup = true;
            continue;
        }
        // Every other option; those that came later are missing from older entries, which
        // then keep the behaviour they always had.
        for (const ConnectorOption& option : ConnectorOptions()) {
            const std::string name = Format("%s%d", option.valueName, i);
            switch (option.kind) {
                case OptionKind::Text:
                    values.Text(name, &(s.*option.text));
                    if (StoredLength(s.*option.text) > kLongestStoredText)
                        loaded.needsBackup = true;
                    break;
                case OptionKind::Flag:
                    values.Flag(name, &(s.*option.yes));
                    break;
                case OptionKind::Number:
                    ReadNumber(values, option, i, &s, &loaded);
                    break;
            }
        }
        loaded.connectors.push_back(std::move(s));
    }
    return loaded;
}

std::string LinesMessage(const std::vector<std::string>& lines) {
    std::string message;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i == kMessageLines) {
            message += Format("\n... and %d more", static_cast<int>(lines.size() - i));
            break;
        }
        if (i > 0)
            message += "\n";
        message += lines[i];
    }
    return message;
}

SaveResult SaveConfiguration(platform::KeyValueStore& store,
                             const std::vector<ConnectorSettings>& connectors,
                             const AppOptions& options, std::string* reason) {
    std::string ignored;
    if (!reason)
        reason = &ignored;
    reason->clear();
    const int count = static_cast<int>(connectors.size());
    // The entries first and the count last: a save cut short never leaves a count that
    // names values not written yet.
    std::vector<std::pair<std::string, std::string>> writes;
    writes.reserve(static_cast<size_t>(count) * ConnectorOptions().size() + 3);
    for (int i = 0; i < count; ++i) {
        for (const ConnectorOption& option : ConnectorOptions()) {
            writes.emplace_back(Format("%s%d", option.valueName, i),
                                OptionText(option, connectors[static_cast<size_t>(i)]));
        }
    }
    writes.emplace_back("AutoStart", Flag(options.AutoStart));
    writes.emplace_back("ExitToTray", Flag(options.ExitToTray));
    writes.emplace_back("WebConsolePort", Format("%d", options.WebConsolePort));
    writes.emplace_back("SshPort", Format("%d", options.SshPort));
    writes.emplace_back("SshListen", options.SshListen);
    writes.emplace_back("PipeNum", Format("%d", count));
    for (const auto& w : writes) {
        if (StoredLength(w.second) > kLongestStoredText) {
            *reason = Format("%s is %d characters long; at most %d can be stored", w.first.c_str(),
                             static_cast<int>(StoredLength(w.second)),
                             static_cast<int>(kLongestStoredText));
            return SaveResult::WriteFailed;
        }
    }

    platform::SysError error = store.OpenForWrite();
    if (error.Failed()) {
        *reason = Describe(error);
        return SaveResult::NoKey;
    }
    OpenKey key(store);
    std::vector<platform::StoredValue> before;
    if ((error = store.ListValues(&before)).Failed()) {
        *reason = Describe(error);  // without it a failed write could not be taken back
        return SaveResult::WriteFailed;
    }
    for (const auto& w : writes) {
        const std::string& text = w.second;
        error = store.SetValue(w.first, platform::kTypeMultiString, text.c_str(), text.size() + 1);
        if (error.Failed()) {
            *reason = Format("Could not write %s: %s", w.first.c_str(), Describe(error).c_str());
            Restore(store, before);
            return SaveResult::WriteFailed;
        }
    }
    // What a longer list, or a hand-edited key, left beyond the count: once the count is
    // written, the next load must not find them as entries.
    for (const platform::StoredValue& v : before) {
        int index = 0;
        if (!EntryIndex(v.name, &index) || index < count)
            continue;
        if ((error = store.DeleteValue(v.name)).Failed()) {
            *reason = Format("Could not remove %s: %s", v.name.c_str(), Describe(error).c_str());
            Restore(store, before);
            return SaveResult::WriteFailed;
        }
    }
    return SaveResult::Saved;
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
    // An older copy's values that this key does not have would make the copy a mixture.
    std::set<std::string> copied;
    for (const platform::StoredValue& v : values)
        copied.insert(Folded(v.name));
    std::vector<platform::StoredValue> old;
    if ((error = to.ListValues(&old)).Failed())
        return error;
    for (const platform::StoredValue& v : old) {
        if (!copied.count(Folded(v.name)) && (error = to.DeleteValue(v.name)).Failed())
            return error;
    }
    for (const platform::StoredValue& v : values) {
        if ((error = to.SetValue(v.name, v.type, v.bytes.data(), v.bytes.size())).Failed())
            return error;
    }
    return {};
}

}  // namespace tolvi
