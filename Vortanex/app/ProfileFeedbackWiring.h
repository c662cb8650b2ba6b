#pragma once
// The profile and feedback panels in the running program: the frame's Profile
// (33319) and Feedback (1467) buttons get their panels, the main menu's
// "Profile" opens the profile panel, and a click on either button while the
// terminal is locked says why nothing opens. The login attaches the panels
// through UpdateProfileButton and SetFeedbackButtonPopup. UI thread.
#include <functional>

class CMainFrame;

void InstallProfileAndFeedback(CMainFrame& frame, std::function<void()> lockTerminal);
