#pragma once
// The saved workspace in the running program: the window kinds it reopens
// (market watches by list name, the order, trade and TSLO books, the risk
// window on its tab, the index view, the web links, charts with their
// security, style, interval, indicators and study, and the market depth
// windows by security) and the program's one workspace that the close and
// the start-up use. Securities are kept by exchange, token and name, indices
// by exchange and name, so a new master at the next start finds them again
// (and a token that now names another security is not taken for it). Each
// user's windows are kept under the user's id.
// Browser windows are not kept: their addresses carry the session's values.
// UI thread.

class CMainFrame;
class Workspace;
namespace pf {
class ProfileStore;
}

// The program's workspace, with its kinds once InstallWorkspace has run.
Workspace& AppWorkspace();
// Registers the document kinds; the windows reopen through their commands,
// so the lock, the access rights and the single-window rules still hold.
void InstallWorkspace(CMainFrame& frame);
// The start-up's reopening (after the look-ups, before the feed connects).
void RestoreAppWorkspace(CMainFrame& frame, pf::ProfileStore& profile);
// The close's and the session end's saving; only after the start-up reopened
// the windows, so a run that ends before (a cancelled login) keeps the
// stored workspace as it was.
void SaveAppWorkspace(CMainFrame& frame, pf::ProfileStore& profile);
