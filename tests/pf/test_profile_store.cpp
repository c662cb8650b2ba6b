#include "pf/profile_store.h"

#include "pf/files.h"
#include "pf_test_support.h"

#include <thread>
#include <vector>

namespace {

using pftest::TempDir;

// The key of writer t's k-th value ("T3K17"). Built by appending: GCC 12 at -O3
// misreads "T" + std::string as an overlapping copy (-Wrestrict).
std::string writerKey(int t, int k)
{
    std::string key = "T";
    key += std::to_string(t) + "K" + std::to_string(k);
    return key;
}

TEST(ProfileStore, ValuesSurviveAReload)
{
    TempDir dir;
    const auto path = dir / "Vortanex.ini";
    std::string allBytes;
    for (int b = 0; b < 256; ++b)
        allBytes += static_cast<char>(b);
    const std::string awkward = " lead=and\\back\nnext\rline ";
    {
        pf::ProfileStore store(path);
        EXPECT_TRUE(store.setInt("Settings", "Fail", 1));
        EXPECT_TRUE(store.setInt("Settings", "Fail Count", -7));
        EXPECT_TRUE(store.setText("Vortanex", "loginimage", awkward));
        EXPECT_TRUE(store.setBlob("Grid", "Layout", allBytes));
        EXPECT_TRUE(store.setBlob("Grid", "Empty", ""));
        EXPECT_TRUE(store.setInt("Settings", "Gone", 3));
        EXPECT_TRUE(store.remove("Settings", "Gone"));
        EXPECT_TRUE(store.remove("No Section", "Gone"));
    }
    pf::ProfileStore store(path);
    EXPECT_EQ(store.getInt("Settings", "Fail", 0), 1);
    EXPECT_EQ(store.getInt("settings", "FAIL COUNT", 0), -7); // names ignore case
    EXPECT_EQ(store.getText("Vortanex", "loginimage"), awkward);
    EXPECT_EQ(store.getBlob("Grid", "Layout"), allBytes);
    EXPECT_EQ(store.getBlob("Grid", "Empty"), "");
    EXPECT_FALSE(store.contains("Settings", "Gone"));
    EXPECT_EQ(store.getInt("Settings", "Gone", 42), 42);
    EXPECT_EQ(store.getText("Settings", "Missing", "dflt"), "dflt");
    EXPECT_FALSE(store.getBlob("Settings", "Missing"));
}

TEST(ProfileStore, ReadsHandEditedFilesAndSkipsJunk)
{
    TempDir dir;
    const auto path = dir / "p.ini";
    ASSERT_TRUE(pf::files::writeAll(path, "orphan=1\r\n"
                                          "garbage line\r\n"
                                          "; comment\n"
                                          "[Settings]\r\n"
                                          "  Fail = 1\r\n"
                                          "Count=12x\n"
                                          "Big=99999999999\n"
                                          "Dup=1\n"
                                          "Dup=2\n"
                                          "=novalue\n"
                                          "Blob=0G\n"
                                          "Odd=ABC\n"
                                          "[broken\n"
                                          "lost=1\n"
                                          "[ settings ]\n"
                                          "Later=5\n"));
    pf::ProfileStore store(path);
    EXPECT_FALSE(store.contains("", "orphan"));
    EXPECT_EQ(store.getInt("Settings", "Fail", 0), 1);
    EXPECT_EQ(store.getInt("Settings", "Count", -1), -1); // not a number
    EXPECT_EQ(store.getInt("Settings", "Big", -1), -1);   // out of range
    EXPECT_EQ(store.getInt("Settings", "Dup", 0), 2);
    EXPECT_FALSE(store.getBlob("Settings", "Blob"));
    EXPECT_FALSE(store.getBlob("Settings", "Odd"));
    EXPECT_FALSE(store.contains("broken", "lost"));
    EXPECT_FALSE(store.contains("Settings", "lost"));
    EXPECT_EQ(store.getInt("Settings", "Later", 0), 5);
}

TEST(ProfileStore, RefusesNamesThatWouldBreakTheFile)
{
    TempDir dir;
    pf::ProfileStore store(dir / "p.ini");
    EXPECT_FALSE(store.setInt("Settings", "a=b", 1));
    EXPECT_FALSE(store.setInt("Settings", "two\nlines", 1));
    EXPECT_FALSE(store.setInt("Sec]tion", "key", 1));
    EXPECT_FALSE(store.setInt("Settings", "", 1));
    EXPECT_TRUE(store.setInt("Settings", "Build Number", 1));
    EXPECT_EQ(pf::ProfileStore(dir / "p.ini").getInt("Settings", "Build Number", 0), 1);
}

TEST(ProfileStore, AFailedSaveKeepsTheValueInMemory)
{
    TempDir dir;
    pftest::LogCapture log;
    pf::ProfileStore store(dir / "missing/p.ini");
    EXPECT_FALSE(store.setInt("Settings", "Fail", 1));
    EXPECT_EQ(store.getInt("Settings", "Fail", 0), 1);
    EXPECT_FALSE(log.lines().empty());
}

TEST(ProfileStore, ConcurrentWritersLoseNothing)
{
    TempDir dir;
    const auto path = dir / "p.ini";
    constexpr int threads = 4;
    constexpr int keys = 25;
    {
        pf::ProfileStore store(path);
        std::vector<std::thread> writers;
        for (int t = 0; t < threads; ++t) {
            writers.emplace_back([&, t] {
                for (int k = 0; k < keys; ++k) {
                    store.setInt("Shared", writerKey(t, k), t * 100 + k);
                    store.setText("Own" + std::to_string(t), "last", std::to_string(k));
                    (void)store.getInt("Shared", "T0K0", 0);
                }
            });
        }
        for (auto& w : writers)
            w.join();
    }
    pf::ProfileStore reloaded(path);
    for (int t = 0; t < threads; ++t) {
        for (int k = 0; k < keys; ++k)
            EXPECT_EQ(reloaded.getInt("Shared", writerKey(t, k), -1), t * 100 + k);
        EXPECT_EQ(reloaded.getText("Own" + std::to_string(t), "last"), std::to_string(keys - 1));
    }
}

} // namespace
