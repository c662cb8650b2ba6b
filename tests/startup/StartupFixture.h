#pragma once
// A temporary program folder, the test broker on loopback and the globals of
// a run put back to a fresh process's state before and after each test.
#include "testkit/headless.h"

#include "TestBroker.h"
#include "app/VortanexApp.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class ProgramFeed;

namespace startuptest {

class StartupFixture : public testkit::Headless {
protected:
    void SetUp() override;
    void TearDown() override;

    // Config/Vortanex.ini (or, with loose, Vortanex.ini in the program folder)
    // pointing every host at the broker.
    void writeConfig(bool loose = false, int feedsType = 0) const;
    // The login dialog types these and presses OK (Cancel with an empty id).
    void scriptLogin(const std::string& id, const std::string& password);
    // The application profile's integer as the file holds it now.
    int profileInt(const std::string& key) const;
    std::string fileText(const std::filesystem::path& path) const;
    std::vector<std::string> boxTexts() const;
    bool boxShown(const std::string& text) const;
    int requestsWith(const std::string& key) const;
    // The options of a test run: this folder, the recording shell, a lock
    // folder of its own, a normal window and, when given, the program's feed.
    CVortanexApp::Options appOptions(FeedControl* feed = nullptr);
    // The program started against the broker with its streaming feed and the
    // demo user logged in; false when the start-up failed.
    bool startLoggedIn(CVortanexApp& app, ProgramFeed& feed);
    // A normal exit: the frame is closed (the quit question answered Yes),
    // then the exit sequence runs.
    void closeAndExit(CVortanexApp& app);
    // The user's log of today.
    std::filesystem::path userLog(const std::string& user) const;

    std::unique_ptr<tb::TestBroker> broker;
};

void ResetRunGlobals();

} // namespace startuptest
