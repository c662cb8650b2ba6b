#pragma once
// What the login dialog needs of the rest of the program once a login has
// gone through: the main frame's profile and feedback buttons, the notices
// the login reply asks for, the unlock-dialog pointer, the application exit
// of a failed unlock and the services list. Start-up installs the real one;
// the defaults do nothing, so the dialog runs without a main frame.
#include <vector>

struct ServiceRecord;

class LoginHost {
public:
    virtual ~LoginHost() = default;
    // The main frame reloads the ribbon's profile picture and attaches the
    // feedback panel.
    virtual void updateProfileButton(int /*reload*/, int /*redraw*/) {}
    virtual void setFeedbackButtonPopup(int /*on*/) {}
    // The notices of a successful login (modal, UI thread).
    virtual void showNomineeNotice() {}
    virtual void showRiskDisclosure() {}
    // Clears the program-wide unlock-dialog pointer.
    virtual void clearUnlockDialog() {}
    // Posts the application exit to the main frame (a cancelled unlock).
    virtual void postApplicationExit() {}
    // The services list, made current first (downloaded again when its
    // version changed); null when there is none.
    virtual std::vector<ServiceRecord>* currentServices() { return nullptr; }
};
