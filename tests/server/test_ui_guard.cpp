// The UI-thread guard: a request, download or HTTP call made on the UI thread
// fails the test that made it, naming what was sent and the caller; a UI-thread
// wait for a thread that is on the network or talking to a helper fails too.
// The same exchange made from a worker passes; the program logs each place once.
#include "ServerFixture.h"

#include "server/FileDownloads.h"
#include "server/RequestServer.h"

#include "app/base/LogWriter.h"

#include "testkit/ui_guard_trap.h"

#include "pf/http_call.h"
#include "pf/log.h"
#include "pf/threads.h"
#include "pf/ui_guard.h"
#include "ui/ui_thread.h"

#include <gtest/gtest-spi.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using servertest::ServerFixture;

// The failing handler for the scope, whatever the build's switch says, so the
// guard's own tests check the trap the other suites run under.
class GuardFails {
public:
    GuardFails() : m_previous(pf::uiguard::setHandler(testkit::failingUiGuardHandler())) {}
    ~GuardFails() { pf::uiguard::setHandler(m_previous); }

private:
    pf::uiguard::Handler m_previous;
};

// The lines the guard reports for the scope.
class GuardLines {
public:
    GuardLines()
        : m_previous(pf::uiguard::setHandler([this](const std::string& line) {
              std::lock_guard lock(m_mutex);
              m_lines.push_back(line);
          }))
    {
    }
    ~GuardLines() { pf::uiguard::setHandler(m_previous); }
    std::vector<std::string> lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    pf::uiguard::Handler m_previous;
};

class UiGuard : public ServerFixture {};

TEST_F(UiGuard, RequestOnTheUiThreadFailsTheTestNamingCodeAndCaller)
{
    {
        GuardFails fails;
        std::string reply;
        long length = 0;
        EXPECT_NONFATAL_FAILURE(RequestServer(0, 700, "ReportData=700|U1", reply, length),
                                "network request 700 at");
    }
    GuardLines seen;
    std::string reply;
    long length = 0;
    const int line = __LINE__ + 1;
    RequestServer(0, 700, "ReportData=700|U1", reply, length);
    ASSERT_EQ(seen.lines().size(), 1u); // the HTTP call below it is not told again
    const std::string text = seen.lines()[0];
    EXPECT_NE(text.find("request 700"), std::string::npos) << text;
    EXPECT_NE(text.find("test_ui_guard.cpp:" + std::to_string(line)), std::string::npos) << text;
}

TEST_F(UiGuard, DownloadAndBareHttpCallOnTheUiThreadFail)
{
    GuardFails fails;
    std::string body;
    long length = 0;
    EXPECT_NONFATAL_FAILURE(DownLoadFile("127.0.0.1", 80, "/alert.wav", "", body, length),
                            "network download /alert.wav at");
    pf::HttpCall call(RootInternetSession());
    EXPECT_NONFATAL_FAILURE(call.send("GET", "127.0.0.1", 80, "/alert.wav", ""), "network HTTP GET 127.0.0.1/alert.wav");
    call.close();
}

TEST_F(UiGuard, TheSameExchangesFromAWorkerPass)
{
    GuardFails fails;
    const int status = testkit::onWorker([] {
        std::string reply;
        long length = 0;
        return RequestServer(0, 18, "", reply, length); // the services list
    });
    EXPECT_EQ(status, 200);
    const int download = testkit::onWorker([] {
        std::string body;
        long length = 0;
        return DownLoadFile("127.0.0.1", 80, "/alert.wav", "", body, length);
    });
    EXPECT_EQ(download, 200);
}

// A worker that opens a marked section when told and holds it until released.
class MarkedWorker {
public:
    explicit MarkedWorker(pf::uiguard::Kind kind)
        : m_thread([this, kind] {
              while (!m_enter)
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              {
                  const pf::uiguard::Section section(kind, "talk");
                  m_inside = true;
                  while (!m_leave)
                      std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
              m_inside = false;
          })
    {
    }
    ~MarkedWorker()
    {
        m_enter = m_leave = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    void enter()
    {
        m_enter = true;
        while (!m_inside)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void leave()
    {
        m_enter = m_leave = true;
        while (m_inside)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void join()
    {
        const pf::uiguard::WaitFor waiting(m_thread.get_id(), "the marked worker");
        m_enter = m_leave = true;
        m_thread.join();
    }
    std::thread::id id() const { return m_thread.get_id(); }

private:
    std::atomic<bool> m_enter{false};
    std::atomic<bool> m_inside{false};
    std::atomic<bool> m_leave{false};
    std::thread m_thread;
};

TEST_F(UiGuard, UiThreadWaitForAThreadInsideAMarkedSectionFails)
{
    GuardFails fails;
    {
        // Joined while it talks to a helper.
        MarkedWorker worker(pf::uiguard::Kind::Helper);
        worker.enter();
        EXPECT_NONFATAL_FAILURE(worker.join(), "waits for the marked worker");
    }
    {
        // Waited for first; the worker goes on the network during the wait:
        // reported from the worker's thread.
        MarkedWorker worker(pf::uiguard::Kind::Network);
        EXPECT_NONFATAL_FAILURE_ON_ALL_THREADS(
            {
                const pf::uiguard::WaitFor waiting(worker.id(), "the marked worker");
                worker.enter();
                worker.leave();
            },
            "for a thread that starts network talk");
    }
    {
        // Joined after its section ended: allowed.
        MarkedWorker worker(pf::uiguard::Kind::Helper);
        worker.enter();
        worker.leave();
        worker.join();
    }
}

// A task of a handler pool that stays inside a marked section until released.
struct HeldTask {
    std::atomic<bool> inside{false};
    std::atomic<bool> release{false};
    void run()
    {
        const pf::uiguard::Section section(pf::uiguard::Kind::Network, "request 640");
        inside = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Lets the task go a little later, from another thread, while the UI
    // thread is blocked in the wait under test.
    std::thread releaseSoon()
    {
        return std::thread([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            release = true;
        });
    }
};

TEST_F(UiGuard, APlainJoinDrainOrStopOfAThreadInsideARequestFailsAndTheUiThreadsWaitPasses)
{
    GuardFails fails;
    {
        // A pool drained, then stopped, while its task is on the network.
        pf::HandlerPool pool(1, false, "TestPool");
        HeldTask task;
        pool.post(1, [&task] { task.run(); });
        while (!task.inside)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::thread releaser = task.releaseSoon();
        EXPECT_NONFATAL_FAILURE(pool.drain(), "waits for TestPool drained");
        releaser.join();
        HeldTask again;
        pool.post(1, [&again] { again.run(); });
        while (!again.inside)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        releaser = again.releaseSoon();
        EXPECT_NONFATAL_FAILURE(pool.stop(), "waits for TestPool stopped");
        releaser.join();
    }
    {
        // A thread joined through the guard while it is on the network.
        HeldTask task;
        std::thread worker([&task] { task.run(); });
        while (!task.inside)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::thread releaser = task.releaseSoon();
        EXPECT_NONFATAL_FAILURE(pf::uiguard::join(worker, "the report download"),
                                "waits for the report download");
        releaser.join();
    }
    {
        // The UI thread's wait serves events until the thread is done, then
        // joins a thread that has left the network: nothing to report.
        HeldTask task;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            task.run();
            done = true;
        });
        std::thread releaser = task.releaseSoon();
        EXPECT_TRUE(ui::UiThread::joinWorker(worker, [&done] { return done.load(); }, "the report download", 10000));
        releaser.join();
        EXPECT_FALSE(worker.joinable());
    }
}

TEST_F(UiGuard, WithoutATestHandlerEachPlaceIsLoggedOnce)
{
    const pf::uiguard::Handler previous = pf::uiguard::setHandler({});
    std::mutex mutex;
    std::vector<std::string> logged;
    pf::setLogSink([&](int, std::string_view text) {
        if (text.find("UI thread blocked") != std::string_view::npos) {
            std::lock_guard lock(mutex);
            logged.emplace_back(text);
        }
    });
    for (int i = 0; i < 3; ++i) {
        std::string reply;
        long length = 0;
        RequestServer(0, 700, "ReportData=700|U1|once", reply, length);
    }
    pf::setLogSink([](int level, std::string_view text) { WriteLog(level, text); }); // the program's route
    pf::uiguard::setHandler(previous);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("request 700"), std::string::npos) << logged[0];
}

} // namespace
