#pragma once
// The frame-completion windows in the running program: the settings dialog
// (32865), the web-links view (32883), the browser windows that web-link
// commands and the windows' broker pages open, the feedback dialog, the print
// and edit commands, and the web-links ribbon with the quick-access bar after
// login. UI thread.
#include <functional>
#include <string>

class CMainFrame;
struct WebLinkRecord;
namespace pf {
class Shell;
}

void InstallFrameCompletion(CMainFrame& frame, pf::Shell& shell, std::function<void()> connectFeed,
                            std::function<void()> disconnectFeed);
// Help (400, F12) and What's New (1499): the documents in the program
// folder's Docs folder, opened by the shell; a missing one is named in a box.
bool OpenHelpDocument(pf::Shell& shell, int commandId);
// The security re-download closes the web-links view with the other windows.
void CloseWebLinksForSecurityDownload();
// Shortcut step 1: the "&WebLinks" category and the quick-access bar.
void FrameCompletionShortcutStep(CMainFrame& frame, int step);
// A link shown in the web-links view rather than by its own address (the
// view builds the request for the client typed there).
bool WebLinkOpensInView(const WebLinkRecord& link);
void OpenWebLinkInView(int linkNumber);
// The address of a link: the feedback dialog for place 'F', a browser window
// titled with the link's name for open mode '0'; false when neither applies.
bool OpenWebLinkInProgram(CMainFrame& frame, pf::Shell& shell, const WebLinkRecord& link, int linkNumber,
                          const std::string& address);
