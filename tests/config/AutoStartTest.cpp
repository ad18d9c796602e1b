// The start-with-Windows entry: written, removed, and every failure told.
#include <gtest/gtest.h>

#include <vector>

#include "config/AutoStart.h"
#include "engine/Alert.h"
#include "support/MemoryStore.h"

namespace tolvi::test {
namespace {

std::vector<std::string> told;
void Record(const std::string& text) {
    told.push_back(text);
}

class AutoStart : public testing::Test {
  protected:
    void SetUp() override {
        told.clear();
        SetAlertHandler(Record);
    }
    void TearDown() override { SetAlertHandler(nullptr); }
    MemoryStore run;
};

TEST_F(AutoStart, CheckedWritesTheQuotedPathAndTheSwitch) {
    std::string path = "C:\\Program Files\\tolvi\\tolvi.exe";
    RegisterAutoStart(run, true, &path);
    ASSERT_EQ(run.values.count("Tolvi"), 1u);
    const MemoryStore::Value& v = run.values["Tolvi"];
    EXPECT_EQ(v.type, platform::kTypeString);
    EXPECT_EQ(v.bytes, "\"C:\\Program Files\\tolvi\\tolvi.exe\" /minimized" + std::string(1, '\0'));
    EXPECT_TRUE(told.empty());
    // A long path is kept whole.
    std::string deep = "C:\\" + std::string(300, 'd') + "\\tolvi.exe";
    RegisterAutoStart(run, true, &deep);
    EXPECT_EQ(run.values["Tolvi"].bytes, AutoStartCommand(deep) + std::string(1, '\0'));
}

TEST_F(AutoStart, UncheckedRemovesItSilentlyEvenWhenAbsent) {
    std::string path = "C:\\tolvi.exe";
    RegisterAutoStart(run, true, &path);
    RegisterAutoStart(run, false, &path);
    EXPECT_EQ(run.values.count("Tolvi"), 0u);
    RegisterAutoStart(run, false, &path);
    EXPECT_TRUE(told.empty());
}

TEST_F(AutoStart, FailuresAreTold) {
    run.canCreate = false;
    std::string path = "C:\\tolvi.exe";
    RegisterAutoStart(run, true, &path);
    EXPECT_EQ(told,
              std::vector<std::string>{"Can't save configuration: unable to access registry!"});

    told.clear();
    MemoryStore noPath;
    RegisterAutoStart(noPath, true, nullptr);
    EXPECT_EQ(told, std::vector<std::string>{"Can't determine module location"});
    EXPECT_EQ(noPath.values.count("Tolvi"), 0u);

    told.clear();
    MemoryStore readOnly;
    readOnly.writesLeft = 0;
    RegisterAutoStart(readOnly, true, &path);
    EXPECT_EQ(told, std::vector<std::string>{"Could not save registry key"});
}

}  // namespace
}  // namespace tolvi::test
