#include "pf/files.h"

#include "pf/append_file.h"
#include "pf/clock.h"
#include "pf/paths.h"
#include "pf_test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

namespace {

using pftest::TempDir;
namespace fs = std::filesystem;

std::vector<std::string> namesIn(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void setAge(const fs::path& file, int64_t mtimeSeconds)
{
    struct timespec times[2] = {{static_cast<time_t>(mtimeSeconds), 0}, {static_cast<time_t>(mtimeSeconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

TEST(Files, MissingFileReportsFailureEverywhere)
{
    TempDir dir;
    const fs::path missing = dir / "nope";
    EXPECT_FALSE(pf::files::exists(missing));
    EXPECT_EQ(pf::files::size(missing), -1);
    EXPECT_FALSE(pf::files::stampTime(missing));
    EXPECT_FALSE(pf::files::readAll(missing));
    EXPECT_EQ(pf::files::readTail(missing, 10), "");
    EXPECT_FALSE(pf::files::writeAll(dir / "no/such/folder/x", "data"));
    EXPECT_FALSE(pf::files::writeAtomic(dir / "no/such/folder/x", "data"));
}

TEST(Files, WriteAllAndReadBackWithStamp)
{
    TempDir dir;
    const fs::path file = dir / "a.bin";
    const std::string data("bin\0ary\r\n", 9);
    ASSERT_TRUE(pf::files::writeAll(file, data));
    EXPECT_EQ(pf::files::readAll(file), data);
    EXPECT_EQ(pf::files::size(file), 9);
    setAge(file, 1'600'000'000);
    EXPECT_EQ(pf::files::stampTime(file), 1'600'000'000);
    ASSERT_TRUE(pf::files::writeAll(file, "x")); // truncates
    EXPECT_EQ(pf::files::readAll(file), "x");
}

TEST(Files, WriteAtomicReplacesWholeAndLeavesNoTemporary)
{
    TempDir dir;
    const fs::path file = dir / "profile.ini";
    ASSERT_TRUE(pf::files::writeAll(file, std::string(1000, 'o')));
    ASSERT_TRUE(pf::files::writeAtomic(file, "new"));
    EXPECT_EQ(pf::files::readAll(file), "new");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"profile.ini"});
}

// A save cut by kill -9 leaves its temporary file: the first atomic write
// into the folder removes the ones whose process is gone and spares those of
// a process that runs (this one, another terminal) and names not of ours.
TEST(Files, StaleTemporariesOfDeadWritersGoWithTheFolderNextWrite)
{
    TempDir dir;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const std::string dead = std::to_string(child);
    const std::string self = std::to_string(::getpid());
    const std::vector<std::string> kept = {"alerts.dat.tmp.1.3",  // pid 1 always runs
                                           "alerts.dat.tmp." + self + ".9",
                                           "notes.tmp.txt",
                                           "alerts.dat.tmp.x.1",
                                           "alerts.dat.tmp." + dead,
                                           "alerts.dat.tmp." + dead + ".",
                                           "profile.ini"};
    for (const std::string& name : kept)
        ASSERT_TRUE(pf::files::writeAll(dir / name, "x"));
    for (const std::string& name : {"profile.ini.tmp." + dead + ".0", "alerts.dat.tmp." + dead + ".17"})
        ASSERT_TRUE(pf::files::writeAll(dir / name, "torn"));

    ASSERT_TRUE(pf::files::writeAtomic(dir / "profile.ini", "saved"));
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(dir.path()), expected);
    EXPECT_EQ(pf::files::removeStaleTemporaries(dir.path()), 0);
}

TEST(Files, WriteAtomicKeepsTheOldTargetWhenTheRenameFails)
{
    TempDir dir;
    // A directory cannot be replaced by a file: the rename fails after the
    // temporary file was written.
    const fs::path target = dir / "target";
    fs::create_directory(target);
    ASSERT_TRUE(pf::files::writeAll(target / "keep", "old"));

    EXPECT_FALSE(pf::files::writeAtomic(target, "new"));
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(pf::files::readAll(target / "keep"), "old");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"target"});
}

TEST(Files, ReadTailAtTheLimits)
{
    TempDir dir;
    const fs::path file = dir / "log";
    ASSERT_TRUE(pf::files::writeAll(file, "0123456789"));
    struct Case {
        size_t n;
        const char* expected;
    } cases[] = {{0, ""}, {3, "789"}, {9, "123456789"}, {10, "0123456789"}, {11, "0123456789"}, {800, "0123456789"}};
    for (const auto& c : cases)
        EXPECT_EQ(pf::files::readTail(file, c.n), c.expected) << c.n;
}

TEST(Files, ReadHeadAndLargeFilesReadWhole)
{
    TempDir dir;
    const fs::path file = dir / "big";
    // Large enough that its memory is mapped ahead while it is read.
    std::string text((size_t{6} << 20) + 77, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 5000) % 26);
    ASSERT_TRUE(pf::files::writeAll(file, text));
    EXPECT_EQ(pf::files::readAll(file), text);
    EXPECT_EQ(pf::files::readHead(file, 5), text.substr(0, 5));
    EXPECT_EQ(pf::files::readHead(file, text.size() + 10), text);
    EXPECT_EQ(pf::files::readHead(dir / "missing", 5), "");
}

TEST(Files, MoveMatchingMovesMatchingFilesAndReplacesTargets)
{
    TempDir dir;
    const fs::path from = dir / "root";
    const fs::path to = dir / "root/Data/Sound";
    ASSERT_TRUE(pf::files::ensureDir(to));
    for (const char* name : {"alert.wav", "bell.wav", "ALERT.WAV", "alert.wav.txt", "notes.txt"})
        ASSERT_TRUE(pf::files::writeAll(from / name, std::string("new ") + name));
    fs::create_directory(from / "dir.wav"); // folders are never moved
    ASSERT_TRUE(pf::files::writeAll(to / "alert.wav", "old"));

    EXPECT_EQ(pf::files::moveMatching(from, "*.wav", to), 2);

    EXPECT_EQ(pf::files::readAll(to / "alert.wav"), "new alert.wav");
    EXPECT_EQ(pf::files::readAll(to / "bell.wav"), "new bell.wav");
    EXPECT_EQ(namesIn(from), (std::vector<std::string>{"ALERT.WAV", "Data", "alert.wav.txt", "dir.wav", "notes.txt"}));
    EXPECT_EQ(pf::files::moveMatching(dir / "missing", "*", to), 0);
    // The target folder is made when needed.
    EXPECT_EQ(pf::files::moveMatching(from, "*.txt", from / "Docs/New"), 2);
    EXPECT_TRUE(pf::files::exists(from / "Docs/New/notes.txt"));
}

TEST(Files, RemoveOlderThanGoesByModificationTime)
{
    TempDir dir;
    pf::ManualClock clock;
    const int64_t now = clock.nowSeconds();
    const int64_t day = 86400;
    struct File {
        const char* name;
        int64_t ageDays;
        bool kept;
    } files[] = {
        {"Vortanex_01012024.log", 31, false},
        {"Vortanex_02012024.log", 29, true},
        {"Vortanex_03012024.log", 0, true},
        {"Other_01012024.log", 40, true},   // pattern does not match
        {"Vortanex_04012024.msg", 40, true}, // nor here
    };
    for (const auto& f : files) {
        ASSERT_TRUE(pf::files::writeAll(dir / f.name, "x"));
        setAge(dir / f.name, now - f.ageDays * day);
    }

    EXPECT_EQ(pf::files::removeOlderThan(dir.path(), "Vortanex_*.log", now - 30 * day), 1);
    for (const auto& f : files)
        EXPECT_EQ(pf::files::exists(dir / f.name), f.kept) << f.name;
}

TEST(Files, EnsureDirMakesParentsAndFailsOnAFile)
{
    TempDir dir;
    EXPECT_TRUE(pf::files::ensureDir(dir / "a/b/c"));
    EXPECT_TRUE(pf::files::ensureDir(dir / "a/b/c"));
    ASSERT_TRUE(pf::files::writeAll(dir / "file", "x"));
    EXPECT_FALSE(pf::files::ensureDir(dir / "file"));
}

// What the terminal writes is the user's alone (settings with the proxy
// password, per-user files, logs, message files): files 0600 in folders 0700,
// whatever the umask, and files and folders an older version made open to
// others are narrowed when they are written or opened again.
TEST(Files, FilesAndFoldersAreTheUsersAlone)
{
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    const auto mode = [](const fs::path& p) {
        struct stat st {};
        EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
        return st.st_mode & 07777;
    };
    const auto openFile = [](const fs::path& p) {
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT, 0644);
        ::fchmod(fd, 0644);
        ::close(fd);
    };

    ASSERT_TRUE(pf::files::ensureDir(dir / "new/inner"));
    EXPECT_EQ(mode(dir / "new"), 0700u);
    EXPECT_EQ(mode(dir / "new/inner"), 0700u);

    ASSERT_TRUE(pf::files::writeAll(dir / "new/inner/a.dat", "x"));
    ASSERT_TRUE(pf::files::writeAtomic(dir / "new/inner/b.dat", "x"));
    openFile(dir / "old.dat");
    ASSERT_TRUE(pf::files::writeAll(dir / "old.dat", "x"));
    openFile(dir / "old_atomic.dat");
    ASSERT_TRUE(pf::files::writeAtomic(dir / "old_atomic.dat", "x"));
    openFile(dir / "old.log");
    {
        pf::AppendFile fresh, old;
        ASSERT_TRUE(fresh.open(dir / "new.log"));
        ASSERT_TRUE(old.open(dir / "old.log"));
    }
    for (const char* name : {"new/inner/a.dat", "new/inner/b.dat", "old.dat", "old_atomic.dat", "new.log", "old.log"})
        EXPECT_EQ(mode(dir / name), 0600u) << name;

    // The program folder: its settings, log and configuration folders are
    // narrowed even when they exist already.
    for (const char* name : {"root/Logs", "root/Data", "root/Config"})
        ASSERT_TRUE(fs::create_directories(dir / name));
    for (const char* name : {"root/Logs", "root/Data", "root/Config"})
        fs::permissions(dir / name, fs::perms(0755));
    ASSERT_TRUE(pf::Paths(dir / "root").ensureFolders());
    for (const char* name : {"root/Logs", "root/Data", "root/Config", "root/Comp", "root/Data/Sound"})
        EXPECT_EQ(mode(dir / name), 0700u) << name;
    ::umask(oldMask);
}

} // namespace
