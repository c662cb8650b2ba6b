#pragma once
// The saved workspace in the running program: the document kinds it reopens
// (market watches by list name, the order book and the trade book) and the
// program's one workspace that the close and the start-up use. UI thread.

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
