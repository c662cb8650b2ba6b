#include "testkit/headless.h"

#include "ui/mailbox.h"
#include "ui/ui_thread.h"

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct Window final : ui::NoteReceiver {
    void onNote(const ui::Note& note) override
    {
        onUiThread = onUiThread && ui::UiThread::isCurrent();
        notes.push_back(note);
        handled = true;
        if (note.text == "throw")
            throw std::runtime_error("handler failed");
    }
    std::vector<ui::Note> notes;
    std::atomic<bool> handled{false};
    bool onUiThread = true;
};

class MailboxTest : public testkit::Headless {
protected:
    // Posted work runs in order, so once a marker posted last has run, every
    // note posted before it was delivered or dropped.
    void drainQueue()
    {
        bool marker = false;
        ui::UiThread::post([&] { marker = true; });
        ASSERT_TRUE(pumpUntil([&] { return marker; }));
    }
};

TEST_F(MailboxTest, NotePostedToAClosedWindowIsDropped)
{
    auto window = std::make_unique<Window>();
    const ui::WindowRef ref = window->ref();
    // The text payload must be freed with the dropped note (the leak checker
    // watches this test).
    ui::mailbox::post(ref, {ui::NoteId::OrderBook, 4, 0, std::string(200, 'e')});
    std::thread worker([ref] { ui::mailbox::post(ref, {ui::NoteId::RiskReport, -1, 0, std::string(300, 'r')}); });
    worker.join();
    EXPECT_TRUE(ref.isAlive());
    window.reset();
    EXPECT_FALSE(ref.isAlive());
    drainQueue(); // nothing is delivered to the freed window
    ui::mailbox::post(ui::WindowRef{}, {ui::NoteId::DayEvent, 0, 0, "nobody"});
    drainQueue();
}

TEST_F(MailboxTest, NotesFromSeveralThreadsArriveInPostingOrderPerThread)
{
    Window window;
    const ui::WindowRef ref = window.ref();
    constexpr int kThreads = 4;
    constexpr int kNotes = 250;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([ref, t] {
            for (int i = 0; i < kNotes; ++i)
                ui::mailbox::post(ref, {ui::NoteId::OrderBook, t, i, "row " + std::to_string(i)});
        });
    for (auto& w : workers)
        w.join();
    ASSERT_TRUE(pumpUntil([&] { return window.notes.size() == kThreads * kNotes; }));
    std::vector<intptr_t> next(kThreads, 0);
    for (const ui::Note& note : window.notes) {
        ASSERT_EQ(note.l, next[static_cast<size_t>(note.w)]) << "thread " << note.w;
        EXPECT_EQ(note.text, "row " + std::to_string(note.l));
        ++next[static_cast<size_t>(note.w)];
    }
    EXPECT_TRUE(window.onUiThread);
}

TEST_F(MailboxTest, SendFromAWorkerReturnsAfterTheHandlerRan)
{
    Window window;
    const ui::WindowRef ref = window.ref();
    std::atomic<bool> done{false};
    bool delivered = false;
    bool handledBeforeReturn = false;
    std::thread worker([&] {
        delivered = ui::mailbox::send(ref, {ui::NoteId::OrderBook, 3, 17, {}});
        handledBeforeReturn = window.handled.load();
        done = true;
    });
    EXPECT_TRUE(pumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(delivered);
    EXPECT_TRUE(handledBeforeReturn);
    ASSERT_EQ(window.notes.size(), 1u);
    EXPECT_EQ(window.notes[0].l, 17);
    EXPECT_TRUE(window.onUiThread);
}

TEST_F(MailboxTest, SendOnTheUiThreadRunsInline)
{
    Window window;
    EXPECT_TRUE(ui::mailbox::send(window.ref(), {ui::NoteId::PledgeResult, 0, 0, "done"}));
    ASSERT_EQ(window.notes.size(), 1u);
    EXPECT_EQ(window.notes[0].text, "done");
    // A throwing handler is contained; the note still counts as delivered.
    EXPECT_TRUE(ui::mailbox::send(window.ref(), {ui::NoteId::PledgeResult, 0, 0, "throw"}));
}

TEST_F(MailboxTest, SendToAClosedWindowReportsFalse)
{
    ui::WindowRef ref;
    {
        Window window;
        ref = window.ref();
    }
    EXPECT_FALSE(ui::mailbox::send(ref, {ui::NoteId::OrderBook, 2, 0, {}}));
    std::atomic<bool> done{false};
    bool fromWorker = true;
    std::thread worker([&] {
        fromWorker = ui::mailbox::send(ref, {ui::NoteId::OrderBook, 3, 0, {}});
        done = true;
    });
    EXPECT_TRUE(pumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_FALSE(fromWorker);
}

} // namespace
