#pragma once
// The broadcast information displays in the running program: the feed's
// codes 141, 145, 155 and 160 reach the frame's displays, the options-list
// windows take the options advisory, and the advisory calls' securities join
// the feed's subscription.
#include <string>
#include <vector>

class CMainFrame;
namespace pf {
class Shell;
}

// UI thread, after the frame is created.
void InstallInformationDisplays(CMainFrame& frame, pf::Shell* shell);
// The feed's consumer (the dispatcher's pool): dropped when none is installed.
void InformationDisplayFeed(int code, const std::string& payload);
// The frame's day-event note, split (UI thread).
void InformationDayProductEvent(const std::vector<std::string>& fields);
