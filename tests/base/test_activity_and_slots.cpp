#include "app/base/ActivityStamp.h"
#include "app/base/BufferSlots.h"
#include "app/base/SmallUtilities.h"

#include "pf/clock.h"
#include "ui/prompter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class BoxRecorder final : public ui::Prompter {
public:
    std::vector<ui::Ask> asks() const
    {
        std::lock_guard lock(m_mutex);
        return m_asks;
    }
    int ask(const ui::Ask& ask) override
    {
        std::lock_guard lock(m_mutex);
        m_asks.push_back(ask);
        return ui::Ok;
    }
    std::optional<std::string> pickSavePath(const ui::FilePrompt&) override { return {}; }
    std::optional<std::string> pickOpenPath(const ui::FilePrompt&) override { return {}; }
    std::optional<ui::Rgb> pickColour(ui::Rgb) override { return {}; }
    std::optional<std::pair<std::string, int>> pickFont(const std::string&, int) override { return {}; }
    int pickMenuCommand(const ui::MenuSpec&, int, int) override { return 0; }

private:
    mutable std::mutex m_mutex;
    std::vector<ui::Ask> m_asks;
};

TEST(ActivityStamp, StampsFromManyThreads)
{
    pf::ManualClock clock(1'700'000'000'000);
    pf::setClock(&clock);
    std::vector<std::thread> threads;
    std::atomic<bool> wrong{false};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                const int64_t stamped = SetAccessTime();
                // Every stamp is a time the clock has shown, never a torn value.
                const int64_t seen = GetAccessTime();
                if (stamped < 1'700'000'000 || seen < 1'700'000'000 || seen > clock.nowSeconds())
                    wrong = true;
            }
        });
    }
    for (int i = 0; i < 100; ++i)
        clock.advanceSeconds(1);
    for (auto& t : threads)
        t.join();
    pf::setClock(nullptr);
    EXPECT_FALSE(wrong.load());
    EXPECT_LE(GetAccessTime(), 1'700'000'100);
}

TEST(ActivityStamp, LockedTerminalRefusesWithTheActionText)
{
    EXPECT_EQ(TerminalLockedText("Place Order."), "Terminal is Locked. Pls Unlock to Place Order.");
    BoxRecorder boxes;
    ui::setPrompter(&boxes);
    pf::ManualClock clock(1'800'000'000'000);
    pf::setClock(&clock);
    SetAccessTime();

    EXPECT_FALSE(RefuseWhileLocked("Place Order."));
    EXPECT_TRUE(boxes.asks().empty());

    SetTerminalLocked(true);
    clock.advanceSeconds(60);
    // A command checks the lock before it stamps the time.
    if (!RefuseWhileLocked("View Reports."))
        SetAccessTime();
    SetTerminalLocked(false);
    pf::setClock(nullptr);
    ui::setPrompter(nullptr);

    ASSERT_EQ(boxes.asks().size(), 1u);
    EXPECT_EQ(boxes.asks()[0].text, "Terminal is Locked. Pls Unlock to View Reports.");
    EXPECT_EQ(boxes.asks()[0].caption, "Vortanex");
    EXPECT_EQ(GetAccessTime(), 1'800'000'000) << "the refused command left the stamp alone";
}

TEST(BufferSlots, AllInUseGivesMinusOneAndReleasedSlotsComeBack)
{
    BufferSlotTable table;
    for (int i = 0; i < kBufferSlotCount; ++i)
        ASSERT_EQ(table.claim(), i);
    EXPECT_EQ(table.claim(), -1);
    table.at(500).buffer = "payload";
    table.at(500).word = 7;
    table.release(500);
    table.release(-1);
    table.release(kBufferSlotCount);
    EXPECT_EQ(table.claim(), 500);
    EXPECT_TRUE(table.at(500).buffer.empty());
    EXPECT_EQ(table.at(500).word, 0);
}

TEST(BufferSlots, TwoThreadsNeverHoldTheSameSlot)
{
    BufferSlotTable table;
    // Keep most slots taken so that the claimers compete for the last few.
    for (int i = 0; i < kBufferSlotCount - 4; ++i)
        table.claim();
    std::atomic<int> owners[kBufferSlotCount] = {};
    std::atomic<bool> clash{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3000; ++i) {
                const int slot = table.claim();
                if (slot < 0)
                    continue;
                if (owners[slot].fetch_add(1) != 0)
                    clash = true;
                table.at(slot).buffer.assign(16, static_cast<char>('a' + t));
                if (table.at(slot).buffer != std::string(16, static_cast<char>('a' + t)))
                    clash = true;
                owners[slot].fetch_sub(1);
                table.release(slot);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_FALSE(clash.load());
    EXPECT_EQ(table.inUseCount(), kBufferSlotCount - 4);
}

TEST(SmallUtilities, MemReallocGrowsZeroedAndKeepsSmallerRequests)
{
    char* block = static_cast<char*>(std::malloc(4));
    std::memcpy(block, "abcd", 4);
    EXPECT_EQ(Mem_realloc(block, 4, 4), block);
    EXPECT_EQ(Mem_realloc(block, 4, 2), block);
    char* grown = static_cast<char*>(Mem_realloc(block, 4, 12));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::memcmp(grown, "abcd\0\0\0\0\0\0\0\0", 12), 0);
    std::free(grown);

    EXPECT_EQ(FormatSystemError(ENOENT), "No such file or directory");
    EXPECT_FALSE(FormatSystemError(99999).empty());
}

} // namespace
