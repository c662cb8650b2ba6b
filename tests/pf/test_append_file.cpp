#include "pf/append_file.h"

#include "pf/files.h"
#include "pf_test_support.h"

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using pftest::TempDir;

// Lines of varying length, so that a torn or interleaved write would show.
std::string lineFor(int thread, int index)
{
    // Built by appending: GCC 12 at -O3 misreads "T" + std::string as an overlapping copy (-Wrestrict).
    std::string line = "T";
    line += std::to_string(thread) + " " + std::to_string(index) + " ";
    line.append(static_cast<size_t>(index % 300), static_cast<char>('a' + thread));
    return line;
}

TEST(AppendFile, EightThreadsLeaveOnlyWholeLinesInOrder)
{
    TempDir dir;
    const auto path = dir / "Vortanex_01012024.log";
    constexpr int threads = 8;
    constexpr int lines = 1000;

    // Each thread has its own descriptor, as separate writers (or processes)
    // would.
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&, t] {
            pf::AppendFile file;
            ASSERT_TRUE(file.open(path));
            for (int i = 0; i < lines; ++i) {
                ASSERT_TRUE(file.appendLine(lineFor(t, i) + "\n"));
            }
        });
    }
    for (auto& w : writers)
        w.join();

    const auto text = pf::files::readAll(path);
    ASSERT_TRUE(text);
    std::vector<int> next(threads, 0);
    int count = 0;
    size_t start = 0;
    while (start < text->size()) {
        const size_t end = text->find('\n', start);
        ASSERT_NE(end, std::string::npos) << "unterminated last line";
        const std::string line = text->substr(start, end - start);
        start = end + 1;
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "T%d %d ", &t, &i), 2) << line;
        ASSERT_TRUE(t >= 0 && t < threads) << line;
        EXPECT_EQ(i, next[t]) << line;
        next[t] = i + 1;
        ASSERT_EQ(line, lineFor(t, i));
        ++count;
    }
    EXPECT_EQ(count, threads * lines);
}

TEST(AppendFile, OpenStateAndDurableAppend)
{
    TempDir dir;
    pf::AppendFile file;
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.fd(), -1);
    EXPECT_FALSE(file.appendLine("lost\n"));
    EXPECT_FALSE(file.open(dir / "missing/folder/x.msg"));

    ASSERT_TRUE(pf::files::writeAll(dir / "x.msg", "old\n"));
    ASSERT_TRUE(file.open(dir / "x.msg", true));
    EXPECT_TRUE(file.isOpen());
    EXPECT_GE(file.fd(), 0);
    EXPECT_TRUE(file.appendLine("new\n"));
    file.close();
    EXPECT_EQ(file.fd(), -1);
    EXPECT_FALSE(file.appendLine("lost\n"));
    EXPECT_EQ(pf::files::readAll(dir / "x.msg"), "old\nnew\n");
}

} // namespace
