#pragma once
// A headless program folder with the test broker on loopback, the
// configuration pointing at it, an empty session and an open log, so that a
// login runs exactly as at start-up.
#include "testkit/headless.h"

#include "TestBroker.h"
#include "frame/LoginHost.h"
#include "server/CompanionLists.h"

#include "ui/form_driver.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace logintest {

// Records what the login asked of the rest of the program.
class FakeLoginHost final : public LoginHost {
public:
    void updateProfileButton(int, int) override { ++profileUpdates; }
    void setFeedbackButtonPopup(int) override { ++feedbackPopups; }
    void showNomineeNotice() override { ++nomineeNotices; }
    void showRiskDisclosure() override { ++riskDisclosures; }
    void clearUnlockDialog() override { ++unlockCleared; }
    std::vector<ServiceRecord>* currentServices() override { return &services; }

    int profileUpdates = 0;
    int feedbackPopups = 0;
    int nomineeNotices = 0;
    int riskDisclosures = 0;
    int unlockCleared = 0;
    std::vector<ServiceRecord> services;
};

// Waits for the help worker of the login dialog in `d`.
bool waitForHelp(ui::FormDriver& d);
// Waits until the login dialog in `d` has no exchange running (its reply has
// been read back on the UI thread).
bool waitForExchange(ui::FormDriver& d);
// Waits until the change-password dialog in `d` has no request running.
bool waitForChange(ui::FormDriver& d);
// Waits until the questions or one-time-password dialog in `d` has no
// exchange running.
bool waitForAuth(ui::FormDriver& d);

class LoginFixture : public testkit::Headless {
protected:
    void SetUp() override;
    void TearDown() override;

    // The requests the broker recorded with this key ("LoginData=3000").
    std::vector<tb::RecordedRequest> requestsWith(const std::string& key) const;
    // Everything the log holds so far.
    std::string logText() const;
    // The texts of the message boxes shown so far.
    std::vector<std::string> boxTexts() const;
    bool boxShown(const std::string& text) const;

    // Runs a login dialog with the script and returns its result.
    int runLogin(const std::function<void(ui::FormDriver&)>& script);
    // Types id and password (and token) and presses Login.
    static void typeAndLogin(ui::FormDriver& d, const std::string& id, const std::string& password,
                             const std::string& token = {});
    std::unique_ptr<tb::TestBroker> broker;
    FakeLoginHost host;
};

} // namespace logintest
