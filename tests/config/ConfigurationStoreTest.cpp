// The configuration key: what is written, in which form and order, and what loads back.
// Runs against the in-memory key everywhere and against the real registry on Windows.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "config/ConfigurationStore.h"
#include "engine/Alert.h"
#include "support/MemoryStore.h"
#include "support/TestRows.h"
#include "support/TestClient.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/RegistryStore.h"
#endif

namespace tolvi::test {
namespace {

std::vector<std::string> alerts;
void RecordAlert(const std::string& text) {
    alerts.push_back(text);
}

using StoreFactory = std::function<std::unique_ptr<platform::KeyValueStore>()>;

struct NamedFactory {
    const char* name;
    StoreFactory make;
};

std::vector<NamedFactory> Factories() {
    std::vector<NamedFactory> list = {
        {"memory", [] { return std::make_unique<MemoryStore>(); }},
    };
#ifdef _WIN32
    list.push_back({"registry", [] {
                        platform::DeleteRegistryKey(platform::RegistryRoot::ClassesRoot,
                                                    kConfigurationKey);
                        return platform::OpenRegistryStore(platform::RegistryRoot::ClassesRoot,
                                                           kConfigurationKey);
                    }});
#endif
    return list;
}

class ConfigurationStore : public testing::TestWithParam<NamedFactory> {
  protected:
    void SetUp() override {
        store = GetParam().make();
        alerts.clear();
        SetAlertHandler(RecordAlert);
        // Stored entries use a port another program holds, so that they load in Error
        // without a worker, unless a test says otherwise.
        holder = HoldPortExclusively(&heldPort);
        ASSERT_TRUE(holder.IsValid());
        port = std::to_string(heldPort);
    }
    void TearDown() override { SetAlertHandler(nullptr); }

    // A value's type and bytes as they are in the key; "<missing>" when absent.
    std::string Raw(const std::string& name, uint32_t* type = nullptr) {
        char buffer[2048];
        size_t size = sizeof buffer;
        uint32_t t = 0;
        store->OpenForRead();
        bool found = store->QueryValue(name, &t, buffer, &size);
        store->Close();
        if (type)
            *type = t;
        return found ? std::string(buffer, size) : "<missing>";
    }
    void Put(const std::string& name, const std::string& text) {
        ASSERT_TRUE(store->OpenForWrite());
        store->SetValue(name, platform::kTypeMultiString, text.c_str(), text.size() + 1);
        store->Close();
    }
    void Remove(const std::string& name) {
        ASSERT_TRUE(store->OpenForWrite());
        store->DeleteValue(name);
        store->Close();
    }

    std::unique_ptr<platform::KeyValueStore> store;
    platform::TcpSocket holder;
    uint16_t heldPort = 0;
    std::string port;
};

TEST_P(ConfigurationStore, NoKeyLoadsNothingAndKeepsTheOptions) {
    TestRows rows;
    AppOptions options{true, false};
    EXPECT_TRUE(LoadConfiguration(*store, rows, options));
    EXPECT_EQ(rows.GetRowCount(), 0);
    EXPECT_TRUE(options.AutoStart);
    EXPECT_FALSE(options.ExitToTray);
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(Raw("PipeNum"), "<missing>");
}

TEST_P(ConfigurationStore, EveryValueIsMultiStringWithOneNul) {
    TestRows rows;
    rows.Add("\\\\.\\pipe\\com1", "0080", "VM one", true, false, "10.0.0.5;10.0.0.7");
    ASSERT_TRUE(SaveConfiguration(*store, rows, AppOptions{false, true}));
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
    };
    for (const auto& value : expected) {
        uint32_t type = 0;
        EXPECT_EQ(Raw(value.first, &type), value.second + std::string(1, '\0')) << value.first;
        EXPECT_EQ(type, platform::kTypeMultiString) << value.first;
    }
    EXPECT_TRUE(alerts.empty());
}

TEST_P(ConfigurationStore, TwelveConnectorsRoundTripInOrder) {
    TestRows saved;
    for (int i = 0; i < 12; ++i) {
        saved.Add("\\\\.\\pipe\\vm" + std::to_string(i), (i % 2 ? "0" : "") + port,
                  "machine " + std::to_string(i), i % 3 == 0, i % 4 == 0,
                  i % 5 ? "" : "10.0.0." + std::to_string(i));
    }
    ASSERT_TRUE(SaveConfiguration(*store, saved, AppOptions{true, true}));
    EXPECT_EQ(Raw("PipeNum"), std::string("12", 3));

    TestRows loaded;
    AppOptions options;
    ASSERT_TRUE(LoadConfiguration(*store, loaded, options));
    EXPECT_TRUE(options.AutoStart);
    EXPECT_TRUE(options.ExitToTray);
    ASSERT_EQ(loaded.GetRowCount(), 12);
    for (int i = 0; i < 12; ++i) {
        const PipeConnector& a = *saved.rows[i];
        const PipeConnector& b = *loaded.rows[i];
        EXPECT_EQ(b.GetPipeName(), a.GetPipeName());
        EXPECT_EQ(b.GetPortText(), a.GetPortText());
        EXPECT_EQ(b.GetDescription(), a.GetDescription());
        EXPECT_EQ(b.AllowsNonLocal(), a.AllowsNonLocal());
        EXPECT_EQ(b.IsListOnly(), a.IsListOnly());
        EXPECT_EQ(b.GetClientList(), a.GetClientList());
        // The port is held by another program: listed all the same, in Error, no worker.
        EXPECT_EQ(b.GetStatus(), Error);
    }
}

TEST_P(ConfigurationStore, PipeNumZeroNegativeOrNotANumberLoadsNothing) {
    TestRows rows;
    rows.Add("\\\\.\\pipe\\a", port, "a");
    ASSERT_TRUE(SaveConfiguration(*store, rows, AppOptions{}));
    for (const char* count : {"0", "-3", "many", ""}) {
        Put("PipeNum", count);
        TestRows loaded;
        AppOptions options;
        EXPECT_TRUE(LoadConfiguration(*store, loaded, options)) << count;
        EXPECT_EQ(loaded.GetRowCount(), 0) << count;
    }
}

TEST_P(ConfigurationStore, MissingValueStopsTheLoadAtItsEntry) {
    TestRows rows;
    for (int i = 0; i < 5; ++i)
        rows.Add("\\\\.\\pipe\\p" + std::to_string(i), port, "d");
    ASSERT_TRUE(SaveConfiguration(*store, rows, AppOptions{}));
    Remove("Acl3");
    TestRows loaded;
    AppOptions options;
    EXPECT_FALSE(LoadConfiguration(*store, loaded, options));
    ASSERT_EQ(loaded.GetRowCount(), 3);
    EXPECT_EQ(loaded.rows[2]->GetPipeName(), "\\\\.\\pipe\\p2");
    EXPECT_TRUE(alerts.empty());
}

TEST_P(ConfigurationStore, MissingOptionLoadsNoConnector) {
    TestRows rows;
    rows.Add("\\\\.\\pipe\\a", port, "a");
    ASSERT_TRUE(SaveConfiguration(*store, rows, AppOptions{true, false}));
    Remove("ExitToTray");
    TestRows loaded;
    AppOptions options;
    EXPECT_FALSE(LoadConfiguration(*store, loaded, options));
    EXPECT_EQ(loaded.GetRowCount(), 0);
    EXPECT_TRUE(options.AutoStart);  // read before the missing one, and kept
}

TEST_P(ConfigurationStore, LongestTextsAndTooLongOnes) {
    TestRows rows;
    std::string longest(254, 'd');
    rows.Add("\\\\.\\pipe\\a", port, longest);
    ASSERT_TRUE(SaveConfiguration(*store, rows, AppOptions{}));
    TestRows loaded;
    AppOptions options;
    ASSERT_TRUE(LoadConfiguration(*store, loaded, options));
    ASSERT_EQ(loaded.GetRowCount(), 1);
    EXPECT_EQ(loaded.rows[0]->GetDescription(), longest);

    // 255 characters and their NUL do not fit the 255-byte read: loading stops there.
    Put("Description0", std::string(255, 'e'));
    TestRows again;
    EXPECT_FALSE(LoadConfiguration(*store, again, options));
    EXPECT_EQ(again.GetRowCount(), 0);

    // Saving such a text is refused with the message, and nothing after it is written.
    TestRows tooLong;
    tooLong.Add("\\\\.\\pipe\\b", port, std::string(255, 'f'));
    Remove("AutoStart");
    EXPECT_FALSE(SaveConfiguration(*store, tooLong, AppOptions{}));
    EXPECT_EQ(alerts, std::vector<std::string>{"Could not save registry key"});
    EXPECT_EQ(Raw("Port0"), port + std::string(1, '\0'));
    EXPECT_EQ(Raw("NonLocal0"), std::string("0", 2));
    EXPECT_EQ(Raw("Description0"), std::string(255, 'e') + std::string(1, '\0'));
    EXPECT_EQ(Raw("AutoStart"), "<missing>");
}

TEST_P(ConfigurationStore, StaleEntriesStayButAreNotRead) {
    TestRows rows;
    for (int i = 0; i < 3; ++i)
        rows.Add("\\\\.\\pipe\\p" + std::to_string(i), port, "d");
    ASSERT_TRUE(SaveConfiguration(*store, rows, AppOptions{}));
    rows.rows.pop_back();
    ASSERT_TRUE(SaveConfiguration(*store, rows, AppOptions{}));
    EXPECT_EQ(Raw("PipeNum"), std::string("2", 2));
    EXPECT_EQ(Raw("PipeName2"), "\\\\.\\pipe\\p2" + std::string(1, '\0'));
    TestRows loaded;
    AppOptions options;
    ASSERT_TRUE(LoadConfiguration(*store, loaded, options));
    EXPECT_EQ(loaded.GetRowCount(), 2);
}

TEST_P(ConfigurationStore, FlagsReadAsNumbersAndTypesAreIgnored) {
    TestRows rows;
    rows.Add("\\\\.\\pipe\\a", port, "a");
    ASSERT_TRUE(SaveConfiguration(*store, rows, AppOptions{}));
    Put("NonLocal0", "-1");
    Put("EnAcl0", " 7x");
    ASSERT_TRUE(store->OpenForWrite());
    const char plain[] = "2";  // REG_SZ and no NUL of its own: read as text all the same
    store->SetValue("AutoStart", platform::kTypeString, plain, 1);
    store->Close();
    TestRows loaded;
    AppOptions options;
    ASSERT_TRUE(LoadConfiguration(*store, loaded, options));
    ASSERT_EQ(loaded.GetRowCount(), 1);
    EXPECT_TRUE(loaded.rows[0]->AllowsNonLocal());
    EXPECT_TRUE(loaded.rows[0]->IsListOnly());
    EXPECT_TRUE(options.AutoStart);
}

TEST_P(ConfigurationStore, LoadedConnectorWithAFreePortRuns) {
    TestRows rows;
    rows.Add("\\\\.\\pipe\\free", std::to_string(FreePort()), "runs");
    ASSERT_TRUE(SaveConfiguration(*store, rows, AppOptions{}));
    TestRows loaded;
    AppOptions options;
    ASSERT_TRUE(LoadConfiguration(*store, loaded, options));
    ASSERT_EQ(loaded.GetRowCount(), 1);
    EXPECT_EQ(loaded.rows[0]->GetStatus(), Ready);
    TestClient client;
    EXPECT_TRUE(client.Connect(loaded.rows[0]->GetListenPort()));
    EXPECT_EQ(client.ReadCount(kAttaching.size(), 3000), kAttaching);
}

INSTANTIATE_TEST_SUITE_P(Stores, ConfigurationStore, testing::ValuesIn(Factories()),
                         [](const testing::TestParamInfo<NamedFactory>& info) {
                             return std::string(info.param.name);
                         });

TEST(ConfigurationStoreFailures, FailedWriteStopsTheSaveWithOneMessage) {
    MemoryStore store;
    store.writesLeft = 3;  // PipeNum, PipeName0, Port0
    TestRows rows;
    rows.Add("\\\\.\\pipe\\a", "23", "a");
    alerts.clear();
    SetAlertHandler(RecordAlert);
    EXPECT_FALSE(SaveConfiguration(store, rows, AppOptions{}));
    SetAlertHandler(nullptr);
    EXPECT_EQ(alerts, std::vector<std::string>{"Could not save registry key"});
    EXPECT_EQ(store.values.size(), 3u);
    EXPECT_EQ(store.values.count("Description0"), 0u);
}

TEST(ConfigurationStoreFailures, KeyThatCannotBeCreatedIsReported) {
    MemoryStore store;
    store.canCreate = false;
    TestRows rows;
    alerts.clear();
    SetAlertHandler(RecordAlert);
    EXPECT_FALSE(SaveConfiguration(store, rows, AppOptions{}));
    SetAlertHandler(nullptr);
    EXPECT_EQ(alerts, std::vector<std::string>{"Could not save registry key"});
}

}  // namespace
}  // namespace tolvi::test
