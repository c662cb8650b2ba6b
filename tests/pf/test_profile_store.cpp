#include "pf/profile_store.h"

#include "pf/files.h"
#include "pf_test_support.h"

#include <functional>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
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

// Two stores on one file stand for two terminals sharing a program folder:
// each writes only what it changed, so neither loses the other's values.
TEST(ProfileStore, TwoStoresOnOneFileKeepEachOthersChanges)
{
    TempDir dir;
    const auto path = dir / "Vortanex.profile.ini";
    {
        pf::ProfileStore seed(path);
        ASSERT_TRUE(seed.setInt("Workspace", "ApplicationLook", 1));
        ASSERT_TRUE(seed.setText("Grid", "Orders", "old"));
        ASSERT_TRUE(seed.setText("Grid", "Trades", "kept"));
    }
    pf::ProfileStore first(path);
    pf::ProfileStore second(path);
    EXPECT_TRUE(first.setInt("Workspace", "ApplicationLook", 3));
    EXPECT_TRUE(second.setText("Grid", "Orders", "new"));
    EXPECT_TRUE(first.remove("Grid", "Trades"));
    EXPECT_TRUE(second.setBlob("Grid", "Watch", "ab"));

    pf::ProfileStore reloaded(path);
    EXPECT_EQ(reloaded.getInt("Workspace", "ApplicationLook", 0), 3);
    EXPECT_EQ(reloaded.getText("Grid", "Orders"), "new");
    EXPECT_FALSE(reloaded.contains("Grid", "Trades"));
    EXPECT_EQ(reloaded.getBlob("Grid", "Watch"), "ab");
}

// A value kept in memory by a failed save goes out with the next save, merged
// with what another writer saved in between.
TEST(ProfileStore, AValueOfAFailedSaveGoesOutWithTheNextOne)
{
    TempDir dir;
    const auto folder = dir / "Config";
    const auto path = folder / "p.ini";
    pftest::LogCapture log;
    pf::ProfileStore store(path);
    EXPECT_FALSE(store.setInt("Settings", "Fail", 1)); // the folder is not there yet
    ASSERT_TRUE(pf::files::ensureDir(folder));
    ASSERT_TRUE(pf::ProfileStore(path).setInt("Settings", "Other", 7));
    EXPECT_TRUE(store.setInt("Settings", "Next", 2));
    pf::ProfileStore reloaded(path);
    EXPECT_EQ(reloaded.getInt("Settings", "Fail", 0), 1);
    EXPECT_EQ(reloaded.getInt("Settings", "Next", 0), 2);
    EXPECT_EQ(reloaded.getInt("Settings", "Other", 0), 7);
}

namespace detail {

// A child process that waits for one byte on `go`, runs body and exits with
// 0 when body returned true.
pid_t runChild(int readyFd, int goFd, const std::function<bool()>& before, const std::function<bool()>& body)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    bool ok = before();
    char byte = 'r';
    ok = ::write(readyFd, &byte, 1) == 1 && ok;
    ok = ::read(goFd, &byte, 1) == 1 && ok;
    ok = body() && ok;
    ::_exit(ok ? 0 : 1);
}

bool exitedCleanly(pid_t pid)
{
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe(fd), 0); }
    ~Pipe()
    {
        ::close(fd[0]);
        ::close(fd[1]);
    }
    void send() const
    {
        const char byte = 'g';
        EXPECT_EQ(::write(fd[1], &byte, 1), 1);
    }
    void receive() const
    {
        char byte = 0;
        EXPECT_EQ(::read(fd[0], &byte, 1), 1);
    }
};

} // namespace detail

// Two terminal processes load the shared profile, then change different
// settings and close in turn. Both changes are in the file; and the user of
// the second, choosing again the theme it loaded after the first changed it,
// gets that choice.
TEST(ProfileStore, TwoProcessesClosingInTurnKeepBothChanges)
{
    TempDir dir;
    const auto path = dir / "Vortanex.profile.ini";
    {
        pf::ProfileStore seed(path);
        ASSERT_TRUE(seed.setInt("Workspace", "ApplicationLook", 1));
        ASSERT_TRUE(seed.setText("Grid", "Orders", "old layout"));
    }
    detail::Pipe ready, goFirst, goSecond, goThird;
    std::unique_ptr<pf::ProfileStore> store;
    const auto load = [&] {
        store = std::make_unique<pf::ProfileStore>(path);
        return store->getInt("Workspace", "ApplicationLook", 0) == 1;
    };
    const pid_t first = detail::runChild(ready.fd[1], goFirst.fd[0], load,
                                         [&] { return store->setInt("Workspace", "ApplicationLook", 4); });
    const pid_t second = detail::runChild(ready.fd[1], goSecond.fd[0], load, [&] {
        return store->setText("Grid", "Orders", "new layout");
    });
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    ready.receive();
    ready.receive();
    goFirst.send();
    EXPECT_TRUE(detail::exitedCleanly(first));
    goSecond.send();
    EXPECT_TRUE(detail::exitedCleanly(second));
    {
        pf::ProfileStore reloaded(path);
        EXPECT_EQ(reloaded.getInt("Workspace", "ApplicationLook", 0), 4);
        EXPECT_EQ(reloaded.getText("Grid", "Orders"), "new layout");
    }

    // A third terminal loads theme 4; another one then writes theme 2 and a
    // key. The third's user picks the theme the third shows (the one it
    // loaded) and removes that key, which the third never saw: both hold.
    const pid_t third = detail::runChild(
        ready.fd[1], goThird.fd[0],
        [&] {
            store = std::make_unique<pf::ProfileStore>(path);
            return store->getInt("Workspace", "ApplicationLook", 0) == 4;
        },
        [&] {
            return store->setInt("Workspace", "ApplicationLook", 4) && store->remove("Grid", "Trades");
        });
    ASSERT_GT(third, 0);
    ready.receive();
    {
        pf::ProfileStore other(path);
        ASSERT_TRUE(other.setInt("Workspace", "ApplicationLook", 2));
        ASSERT_TRUE(other.setText("Grid", "Trades", "written since"));
    }
    goThird.send();
    EXPECT_TRUE(detail::exitedCleanly(third));
    pf::ProfileStore reloaded(path);
    EXPECT_EQ(reloaded.getInt("Workspace", "ApplicationLook", 0), 4) << "the later choice holds";
    EXPECT_FALSE(reloaded.contains("Grid", "Trades"));
    EXPECT_EQ(reloaded.getText("Grid", "Orders"), "new layout");
}

// Processes saving at the same moment take turns on the file: no key of any
// of them is lost to another's read-merge-write.
TEST(ProfileStore, ProcessesSavingTogetherLoseNothing)
{
    TempDir dir;
    const auto path = dir / "p.ini";
    constexpr int processes = 3;
    constexpr int keys = 30;
    detail::Pipe ready, go;
    std::vector<pid_t> children;
    for (int t = 0; t < processes; ++t) {
        children.push_back(detail::runChild(ready.fd[1], go.fd[0], [] { return true; }, [&, t] {
            pf::ProfileStore store(path);
            bool ok = true;
            for (int k = 0; k < keys; ++k)
                ok = store.setInt("Shared", writerKey(t, k), t * 100 + k) && ok;
            return ok;
        }));
        ASSERT_GT(children.back(), 0);
    }
    for (int t = 0; t < processes; ++t)
        ready.receive();
    for (int t = 0; t < processes; ++t)
        go.send();
    for (pid_t child : children)
        EXPECT_TRUE(detail::exitedCleanly(child));
    pf::ProfileStore reloaded(path);
    for (int t = 0; t < processes; ++t)
        for (int k = 0; k < keys; ++k)
            EXPECT_EQ(reloaded.getInt("Shared", writerKey(t, k), -1), t * 100 + k) << writerKey(t, k);
}

} // namespace
