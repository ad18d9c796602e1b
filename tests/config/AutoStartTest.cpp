// The start-with-Windows entry: written, removed, and every failure told.
#include <gtest/gtest.h>

#include "config/AutoStart.h"
#include "support/MemoryStore.h"

namespace tolvi::test {
namespace {

TEST(AutoStart, CheckedWritesTheQuotedPathAndTheSwitch) {
    MemoryStore run;
    std::string path = "C:\\Program Files\\tolvi\\tolvi.exe";
    EXPECT_EQ(RegisterAutoStart(run, true, &path), "");
    ASSERT_EQ(run.values.count("Tolvi"), 1u);
    const MemoryStore::Value& v = run.values["Tolvi"];
    EXPECT_EQ(v.type, platform::kTypeString);
    EXPECT_EQ(v.bytes, "\"C:\\Program Files\\tolvi\\tolvi.exe\" /minimized" + std::string(1, '\0'));
    // A long path is kept whole.
    std::string deep = "C:\\" + std::string(300, 'd') + "\\tolvi.exe";
    EXPECT_EQ(RegisterAutoStart(run, true, &deep), "");
    EXPECT_EQ(run.values["Tolvi"].bytes, AutoStartCommand(deep) + std::string(1, '\0'));
}

TEST(AutoStart, UncheckedRemovesItSilentlyEvenWhenAbsent) {
    MemoryStore run;
    std::string path = "C:\\tolvi.exe";
    RegisterAutoStart(run, true, &path);
    EXPECT_EQ(RegisterAutoStart(run, false, &path), "");
    EXPECT_EQ(run.values.count("Tolvi"), 0u);
    EXPECT_EQ(RegisterAutoStart(run, false, &path), "");
}

TEST(AutoStart, FailuresAreTold) {
    MemoryStore locked;
    locked.canCreate = false;
    std::string path = "C:\\tolvi.exe";
    EXPECT_EQ(RegisterAutoStart(locked, true, &path),
              "Can't save configuration: unable to access registry!");

    MemoryStore noPath;
    EXPECT_EQ(RegisterAutoStart(noPath, true, nullptr), "Can't determine module location");
    EXPECT_EQ(noPath.values.count("Tolvi"), 0u);

    MemoryStore readOnly;
    readOnly.writesLeft = 0;
    EXPECT_EQ(RegisterAutoStart(readOnly, true, &path), "Could not save registry key");
}

}  // namespace
}  // namespace tolvi::test
