#include "testkit/headless.h"

#include <QObject>
#include <QTimer>

#include <gtest/gtest-spi.h>

#include <thread>

namespace {

// A timer of the UI thread started from a worker: Qt refuses with a warning,
// which the test kit must turn into a failure of the running test.
void startUiTimerFromAWorker()
{
    QTimer timer;
    std::thread worker([&] { timer.start(1000); });
    worker.join();
}

TEST(Testkit, QtThreadWarningsFailTheTest)
{
    EXPECT_NONFATAL_FAILURE_ON_ALL_THREADS(startUiTimerFromAWorker(), "Timers cannot be started from another thread");
}

class HeadlessTest : public testkit::Headless {};

TEST_F(HeadlessTest, InstallsTheFakesAndAFreshProgramFolder)
{
    EXPECT_EQ(&pf::clock(), &clock);
    EXPECT_EQ(&ui::prompter(), &prompter);
    EXPECT_TRUE(std::filesystem::is_directory(paths.logs()));
    EXPECT_TRUE(std::filesystem::is_directory(paths.data()));
    EXPECT_EQ(paths.root(), root);
    EXPECT_TRUE(profile->setInt("Settings", "Fail", 1));
    EXPECT_TRUE(std::filesystem::exists(profile->path()));
}

} // namespace
