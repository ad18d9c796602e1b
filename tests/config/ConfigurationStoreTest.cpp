// The configuration key: what is written, in which form and order, what reads back, and how
// a hand-edited key is read without losing anything. Runs against the in-memory key
// everywhere and against the real registry on Windows; no connector is built here.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "config/ConfigurationStore.h"
#include "model/ConnectorOptions.h"
#include "support/Settings.h"
#include "support/MemoryStore.h"

#ifdef _WIN32
#include "platform/RegistryStore.h"
#endif

namespace tolvi::test {
namespace {

using StoreFactory = std::function<std::unique_ptr<platform::KeyValueStore>(const char* suffix)>;

struct NamedFactory {
    const char* name;
    StoreFactory make;
};

std::vector<NamedFactory> Factories() {
    std::vector<NamedFactory> list = {
        {"memory", [](const char*) { return std::make_unique<MemoryStore>(); }},
    };
#ifdef _WIN32
    list.push_back({"registry", [](const char* suffix) {
                        std::string key = std::string(kConfigurationKey) + suffix;
                        platform::DeleteRegistryKey(platform::RegistryRoot::ClassesRoot, key);
                        return platform::OpenRegistryStore(platform::RegistryRoot::ClassesRoot,
                                                           key);
                    }});
#endif
    return list;
}

ConnectorSettings Entry(const std::string& name, const std::string& port,
                        const std::string& description = "d", bool nonLocal = false,
                        bool listOnly = false, const std::string& list = "") {
    return SettingsFor(name, port, description, nonLocal, listOnly, list);
}

class ConfigurationStore : public testing::TestWithParam<NamedFactory> {
  protected:
    void SetUp() override { store = GetParam().make(""); }

    // A value's type and bytes as they are in the key; "<missing>" when absent.
    std::string Raw(const std::string& name, uint32_t* type = nullptr) {
        platform::StoredValue value;
        store->OpenForRead();
        bool found = !store->QueryValue(name, &value).Failed();
        store->Close();
        if (type)
            *type = value.type;
        return found ? value.bytes : "<missing>";
    }
    void Put(const std::string& name, const std::string& bytes,
             uint32_t type = platform::kTypeMultiString) {
        ASSERT_FALSE(store->OpenForWrite().Failed());
        store->SetValue(name, type, bytes.data(), bytes.size());
        store->Close();
    }
    void PutText(const std::string& name, const std::string& text) { Put(name, text + '\0'); }
    void Remove(const std::string& name) {
        ASSERT_FALSE(store->OpenForWrite().Failed());
        store->DeleteValue(name);
        store->Close();
    }
    StoredConfiguration Load(AppOptions defaults = AppOptions{}) {
        return LoadConfiguration(*store, defaults);
    }

    std::unique_ptr<platform::KeyValueStore> store;
};

TEST_P(ConfigurationStore, NoKeyLoadsNothingAndKeepsTheOptions) {
    StoredConfiguration loaded = Load(AppOptions{true, false});
    EXPECT_TRUE(loaded.connectors.empty());
    EXPECT_TRUE(loaded.options.AutoStart);
    EXPECT_FALSE(loaded.options.ExitToTray);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_FALSE(loaded.needsBackup);
    EXPECT_EQ(Raw("PipeNum"), "<missing>");
}

TEST_P(ConfigurationStore, EveryValueIsMultiStringWithOneNul) {
    ASSERT_EQ(SaveConfiguration(
                  *store,
                  {Entry("\\\\.\\pipe\\com1", "0080", "VM one", true, false, "10.0.0.5;10.0.0.7")},
                  AppOptions{false, true}),
              SaveResult::Saved);
    const std::pair<const char*, std::string> expected[] = {
        {"PipeNum", "1"},
        {"PipeName0", "\\\\.\\pipe\\com1"},
        {"Port0", "0080"},
        {"Description0", "VM one"},
        {"NonLocal0", "1"},
        {"EnAcl0", "0"},
        {"Acl0", "10.0.0.5;10.0.0.7"},
        {"AutoStart", "0"},
        {"ExitToTray", "1"},
        {"MaxClients0", "1"},
        {"LogFile0", ""},
        {"Replay0", "0"},
    };
    for (const auto& value : expected) {
        uint32_t type = 0;
        EXPECT_EQ(Raw(value.first, &type), value.second + std::string(1, '\0')) << value.first;
        EXPECT_EQ(type, platform::kTypeMultiString) << value.first;
    }
}

TEST_P(ConfigurationStore, TwelveConnectorsRoundTripInOrder) {
    std::vector<ConnectorSettings> saved;
    for (int i = 0; i < 12; ++i) {
        saved.push_back(Entry("\\\\.\\pipe\\vm" + std::to_string(i),
                              (i % 2 ? "0" : "") + std::to_string(4000 + i),
                              "machine " + std::to_string(i), i % 3 == 0, i % 4 == 0,
                              i % 5 ? "" : "10.0.0." + std::to_string(i)));
    }
    ASSERT_EQ(SaveConfiguration(*store, saved, AppOptions{true, true, 8080, 2222, "::1"}),
              SaveResult::Saved);
    EXPECT_EQ(Raw("PipeNum"), std::string("12", 3));

    StoredConfiguration loaded = Load();
    EXPECT_TRUE(loaded.options.AutoStart);
    EXPECT_TRUE(loaded.options.ExitToTray);
    EXPECT_EQ(loaded.options.WebConsolePort, 8080);
    EXPECT_EQ(loaded.options.SshPort, 2222);
    EXPECT_EQ(loaded.options.SshListen, "::1");
    ASSERT_EQ(loaded.connectors.size(), 12u);
    for (size_t i = 0; i < 12; ++i) {
        const ConnectorSettings& a = saved[i];
        const ConnectorSettings& b = loaded.connectors[i];
        EXPECT_EQ(b.pipeName, a.pipeName);
        EXPECT_EQ(b.portText, a.portText);
        EXPECT_EQ(b.description, a.description);
        EXPECT_EQ(b.allowNonLocal, a.allowNonLocal);
        EXPECT_EQ(b.listOnly, a.listOnly);
        EXPECT_EQ(b.clientList, a.clientList);
    }
    EXPECT_FALSE(loaded.needsBackup);
}

TEST_P(ConfigurationStore, EveryEntryFoundLoadsAndACountThatDisagreesIsNamed) {
    ASSERT_EQ(SaveConfiguration(*store, {Entry("\\\\.\\pipe\\a", "23")}, AppOptions{}),
              SaveResult::Saved);
    for (const char* count : {"0", "-1", "abc", "", "2", "2000000", "99999999999"}) {
        PutText("PipeNum", count);
        StoredConfiguration loaded = Load();
        ASSERT_EQ(loaded.connectors.size(), 1u) << count;
        EXPECT_EQ(loaded.connectors[0].pipeName, "\\\\.\\pipe\\a");
        EXPECT_EQ(loaded.problems, std::vector<std::string>{"PipeNum is \"" + std::string(count) +
                                                            "\", but 1 connector was found: it is "
                                                            "loaded"});
        EXPECT_TRUE(loaded.needsBackup) << count;
    }
    PutText("PipeNum", "1");
    EXPECT_FALSE(Load().needsBackup);
}

TEST_P(ConfigurationStore, ValuesBeyondTheCountAreRemovedOnceItIsWritten) {
    std::vector<ConnectorSettings> rows;
    for (int i = 0; i < 3; ++i)
        rows.push_back(Entry("\\\\.\\pipe\\p" + std::to_string(i), std::to_string(23 + i)));
    ASSERT_EQ(SaveConfiguration(*store, rows, AppOptions{}), SaveResult::Saved);
    PutText("Odd", "not ours");
    PutText("Replay7", "0");  // left by some earlier list
    rows.pop_back();
    ASSERT_EQ(SaveConfiguration(*store, rows, AppOptions{}), SaveResult::Saved);
    EXPECT_EQ(Raw("PipeNum"), std::string("2", 2));
    for (const char* gone : {"PipeName2", "Port2", "Description2", "NonLocal2", "EnAcl2", "Acl2",
                             "MaxClients2", "LogFile2", "Replay2", "Replay7"}) {
        EXPECT_EQ(Raw(gone), "<missing>") << gone;
    }
    EXPECT_EQ(Raw("Odd"), std::string("not ours") + '\0');
    StoredConfiguration loaded = Load();
    EXPECT_EQ(loaded.connectors.size(), 2u);
    EXPECT_TRUE(loaded.problems.empty());
}

TEST_P(ConfigurationStore, NumbersAreReadFromTextOrFromNumberValues) {
    ASSERT_EQ(SaveConfiguration(*store, {Entry("\\\\.\\pipe\\a", "23")}, AppOptions{}),
              SaveResult::Saved);
    PutText("NonLocal0", "-1");
    PutText("EnAcl0", " 7x");
    Put("AutoStart", "2", platform::kTypeString);  // no NUL of its own: text all the same
    const char one[4] = {1, 0, 0, 0}, two[4] = {2, 0, 0, 0}, port[4] = {0x17, 0, 0, 0};
    Put("ExitToTray", std::string(one, 4), platform::kTypeDword);
    Put("PipeNum", std::string(two, 4), platform::kTypeDword);
    PutText("PipeName1", "\\\\.\\pipe\\b");
    Put("Port1", std::string(port, 4), platform::kTypeDword);
    StoredConfiguration loaded = Load();
    ASSERT_EQ(loaded.connectors.size(), 2u);
    EXPECT_TRUE(loaded.connectors[0].allowNonLocal);
    EXPECT_TRUE(loaded.connectors[0].listOnly);
    EXPECT_TRUE(loaded.options.AutoStart);
    EXPECT_TRUE(loaded.options.ExitToTray);
    EXPECT_EQ(loaded.connectors[1].portText, "23");
    EXPECT_TRUE(loaded.problems.empty());
}

TEST_P(ConfigurationStore, MissingOptionsAndSecondaryValuesTakeTheirDefaults) {
    ASSERT_EQ(SaveConfiguration(*store, {Entry("\\\\.\\pipe\\a", "23", "a", true, true, "x")},
                                AppOptions{true, true}),
              SaveResult::Saved);
    Remove("ExitToTray");
    Remove("AutoStart");
    for (const char* value : {"Description0", "NonLocal0", "EnAcl0", "Acl0"})
        Remove(value);
    StoredConfiguration loaded = Load(AppOptions{false, true});
    ASSERT_EQ(loaded.connectors.size(), 1u);
    EXPECT_EQ(loaded.connectors[0].pipeName, "\\\\.\\pipe\\a");
    EXPECT_EQ(loaded.connectors[0].description, "");
    EXPECT_FALSE(loaded.connectors[0].allowNonLocal);
    EXPECT_EQ(loaded.connectors[0].clientList, "");
    EXPECT_FALSE(loaded.options.AutoStart);
    EXPECT_TRUE(loaded.options.ExitToTray);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_FALSE(loaded.needsBackup);  // nothing that was there is lost by the next save
}

TEST_P(ConfigurationStore, ConsoleOptionsRoundTripAndOlderEntriesGetTheDefaults) {
    ConnectorSettings shared = Entry("\\\\.\\pipe\\shared", "23");
    shared.maxClients = 8;
    shared.logFile = "C:\\logs\\vm1.log";
    shared.replayKiB = 64;
    ASSERT_EQ(SaveConfiguration(*store, {shared, Entry("\\\\.\\pipe\\older", "24")}, AppOptions{}),
              SaveResult::Saved);
    EXPECT_EQ(Raw("MaxClients0"), std::string("8", 2));
    EXPECT_EQ(Raw("LogFile0"), "C:\\logs\\vm1.log" + std::string(1, '\0'));
    EXPECT_EQ(Raw("Replay0"), std::string("64", 3));
    // What an earlier version wrote has none of them: that entry behaves as it always did.
    for (const char* value : {"MaxClients1", "LogFile1", "Replay1"})
        Remove(value);
    StoredConfiguration loaded = Load();
    ASSERT_EQ(loaded.connectors.size(), 2u);
    EXPECT_EQ(loaded.connectors[1].maxClients, 1);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_FALSE(loaded.needsBackup);
    // Hand-edited beyond the limits: brought into them, named, and the key kept.
    PutText("Replay0", "9999");
    PutText("MaxClients1", "99");
    loaded = Load();
    ASSERT_EQ(loaded.connectors.size(), 2u);
    EXPECT_EQ(
        loaded.problems,
        (std::vector<std::string>{"Replay0 is \"9999\", not a number from 0 to 1024: 1024 is used",
                                  "MaxClients1 is \"99\", not a number from 1 to 16: 16 is used"}));
    EXPECT_TRUE(loaded.needsBackup);
    EXPECT_EQ(loaded.connectors[0].maxClients, 8);
    EXPECT_EQ(loaded.connectors[0].logFile, "C:\\logs\\vm1.log");
    EXPECT_EQ(loaded.connectors[0].replayKiB, 1024);
    EXPECT_EQ(loaded.connectors[1].maxClients, 16);
    EXPECT_EQ(loaded.connectors[1].logFile, "");
    EXPECT_EQ(loaded.connectors[1].replayKiB, 0);
}

TEST_P(ConfigurationStore, EntriesThatCannotBeReadAreNamedAndTheRestLoads) {
    std::vector<ConnectorSettings> rows;
    for (int i = 0; i < 5; ++i)
        rows.push_back(Entry("\\\\.\\pipe\\p" + std::to_string(i), std::to_string(23 + i)));
    ASSERT_EQ(SaveConfiguration(*store, rows, AppOptions{}), SaveResult::Saved);
    Remove("Port1");
    Remove("PipeName3");
    Remove("Port3");
    StoredConfiguration loaded = Load();
    ASSERT_EQ(loaded.connectors.size(), 3u);
    EXPECT_EQ(loaded.connectors[2].pipeName, "\\\\.\\pipe\\p4");
    EXPECT_TRUE(loaded.needsBackup);
    EXPECT_EQ(LinesMessage(loaded.problems),
              "Could not load connector 1 (\\\\.\\pipe\\p1)\nCould not load connector 3");

    std::vector<std::string> many;
    for (int i = 0; i < 12; ++i)
        many.push_back("line " + std::to_string(i));
    std::string message = LinesMessage(many);
    EXPECT_EQ(message.substr(message.find("line 9")), "line 9\n... and 2 more");
}

TEST_P(ConfigurationStore, WithoutACountEveryEntryLoadsAndAGapKeepsTheKey) {
    std::vector<ConnectorSettings> rows;
    for (int i = 0; i < 3; ++i)
        rows.push_back(Entry("\\\\.\\pipe\\p" + std::to_string(i), std::to_string(23 + i)));
    ASSERT_EQ(SaveConfiguration(*store, rows, AppOptions{}), SaveResult::Saved);
    Remove("PipeNum");
    StoredConfiguration loaded = Load();
    EXPECT_EQ(loaded.connectors.size(), 3u);
    EXPECT_FALSE(loaded.needsBackup);
    for (const ConnectorOption& option : ConnectorOptions())
        Remove(option.valueName + std::string("1"));
    loaded = Load();
    ASSERT_EQ(loaded.connectors.size(), 2u);
    EXPECT_EQ(loaded.connectors[1].pipeName, "\\\\.\\pipe\\p2");
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_TRUE(loaded.needsBackup) << "the next save numbers them anew";
}

TEST_P(ConfigurationStore, LongTextsAreReadWholeButNotSaved) {
    std::string longest(254, 'd');
    ASSERT_EQ(SaveConfiguration(*store, {Entry("\\\\.\\pipe\\a", "23", longest)}, AppOptions{}),
              SaveResult::Saved);
    StoredConfiguration loaded = Load();
    ASSERT_EQ(loaded.connectors.size(), 1u);
    EXPECT_EQ(loaded.connectors[0].description, longest);
    EXPECT_FALSE(loaded.needsBackup);

    // A hand-edited value of any length reads back whole; it would not survive a save.
    for (const char* value : {"Description0", "LogFile0"}) {
        ASSERT_EQ(SaveConfiguration(*store, {Entry("\\\\.\\pipe\\a", "23", "")}, AppOptions{}),
                  SaveResult::Saved);
        std::string hand(3000, 'e');
        PutText(value, hand);
        loaded = Load();
        ASSERT_EQ(loaded.connectors.size(), 1u);
        EXPECT_EQ(loaded.connectors[0].description + loaded.connectors[0].logFile, hand);
        EXPECT_TRUE(loaded.needsBackup) << value;
    }

    // Saving such a text is refused before anything is written, and says which it was.
    std::string reason;
    ConnectorSettings tooLong = Entry("\\\\.\\pipe\\b", "24");
    tooLong.logFile = std::string(255, 'f');
    EXPECT_EQ(SaveConfiguration(*store, {tooLong}, AppOptions{}, &reason), SaveResult::WriteFailed);
    EXPECT_EQ(reason, "LogFile0 is 255 characters long; at most 254 can be stored");
    EXPECT_EQ(Raw("PipeName0"), "\\\\.\\pipe\\a" + std::string(1, '\0'));
}

TEST_P(ConfigurationStore, CopyKeepsEveryValueAsItIs) {
    ASSERT_EQ(SaveConfiguration(*store, {Entry("\\\\.\\pipe\\a", "23", "a")}, AppOptions{}),
              SaveResult::Saved);
    const char odd[4] = {7, 0, 0, 0};
    Put("Odd", std::string(odd, 4), platform::kTypeDword);
    PutText("Description0", std::string(400, 'l'));
    std::unique_ptr<platform::KeyValueStore> copy = GetParam().make(kBackupSuffix);
    ASSERT_FALSE(copy->OpenForWrite().Failed());
    copy->SetValue("PipeName9", platform::kTypeMultiString, "old copy", 9);  // an earlier copy's
    copy->Close();
    ASSERT_FALSE(CopyConfiguration(*store, *copy).Failed());

    std::vector<platform::StoredValue> original, copied;
    store->OpenForRead();
    store->ListValues(&original);
    store->Close();
    copy->OpenForRead();
    copy->ListValues(&copied);
    copy->Close();
    auto byName = [](const platform::StoredValue& a, const platform::StoredValue& b) {
        return a.name < b.name;
    };
    std::sort(original.begin(), original.end(), byName);
    std::sort(copied.begin(), copied.end(), byName);
    ASSERT_EQ(copied.size(), original.size());
    // the options, the program's five, the count and Odd
    EXPECT_EQ(original.size(), ConnectorOptions().size() + 7);
    for (size_t i = 0; i < copied.size(); ++i) {
        EXPECT_EQ(copied[i].name, original[i].name);
        EXPECT_EQ(copied[i].type, original[i].type) << copied[i].name;
        EXPECT_EQ(copied[i].bytes, original[i].bytes) << copied[i].name;
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, ConfigurationStore, testing::ValuesIn(Factories()),
                         [](const testing::TestParamInfo<NamedFactory>& info) {
                             return std::string(info.param.name);
                         });

TEST(ConfigurationStoreFailures, ASaveThatFailsPutsTheKeyBackAsItWas) {
    MemoryStore store;
    std::vector<ConnectorSettings> three;
    for (int i = 0; i < 3; ++i)
        three.push_back(Entry("\\\\.\\pipe\\p" + std::to_string(i), std::to_string(23 + i)));
    ASSERT_EQ(SaveConfiguration(store, three, AppOptions{}), SaveResult::Saved);
    const auto before = store.values;
    std::vector<ConnectorSettings> two = {Entry("\\\\.\\pipe\\new", "40"), three[2]};
    // A write fails half way; then the removal of what is beyond the new count does.
    for (const char* failing : {"Replay1", "PipeName2"}) {
        store.failingValue = failing;
        std::string reason;
        EXPECT_EQ(SaveConfiguration(store, two, AppOptions{true, true}, &reason),
                  SaveResult::WriteFailed);
        EXPECT_EQ(reason.rfind(std::string("Could not ") +
                                   (failing[0] == 'R' ? "write " : "remove ") + failing + ": ",
                               0),
                  0u)
            << reason;
        ASSERT_EQ(store.values.size(), before.size()) << failing;
        for (const auto& v : before)
            EXPECT_EQ(store.values[v.first].bytes, v.second.bytes) << failing << " " << v.first;
    }
}

TEST(ConfigurationStoreFailures, KeyThatCannotBeCreated) {
    MemoryStore store;
    store.canCreate = false;
    EXPECT_EQ(SaveConfiguration(store, {}, AppOptions{}), SaveResult::NoKey);
    MemoryStore backup;
    backup.canCreate = false;
    MemoryStore source;
    source.PutText("PipeNum", "0");
    EXPECT_TRUE(CopyConfiguration(source, backup).Failed());
}

}  // namespace
}  // namespace tolvi::test
