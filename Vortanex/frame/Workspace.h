#pragma once
// The saved workspace: the open document windows (their kind, the list they
// show, their place and tab group, in tab order) and the layout of the docking
// panes, and which window was active. It is saved when the frame closes and when the desktop session ends,
// and reopened after the start-up's look-ups and before the feed connects, so
// the first subscription already carries the reopened windows' securities.
//
// The record lives in the workspace profile (section "Workspace"), whose file
// is replaced atomically and created 0600 and which every user of the program
// folder shares: each user's record under the user's id ("<user>_MDIState").
// A record of the older shared form ("MDIState") is taken over once, by the
// first user who has none, and then dropped. The record
// is read whole before anything opens: a damaged one changes nothing and is
// reported. The panes' layout goes to QMainWindow::restoreState, which does
// not survive malformed bytes, so the record keeps the layout's length and
// checksum beside it and a layout that does not match them (or an older
// record without them) is never handed over. A marker of the process and the
// user ("<user>_Restoring_<pid>") is in the profile while the windows reopen
// and cleared after: a start that finds one of its user in the file as it is
// now, of a process that no longer runs, knows that start died while
// restoring and skips the restore once. Another terminal's marker, still
// reopening, is none of its business.
// Modeless windows outside the document area (the market depth windows) are
// kept beside the documents with their place on the screen.
// A window that cannot be reopened (its list or security is gone) is skipped,
// logged and named on the message bar; the others still come back. UI thread only.
#include <QByteArray>
#include <QRect>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CMainFrame;
class QWidget;

namespace pf {
class ProfileStore;
}

struct WorkspaceDocument {
    std::string kind; // the kind's name, e.g. "Watchlist"
    std::string list; // the list a market watch shows; empty for other kinds
    int group = 0;    // tab group, 0 first
    QRect geometry;   // the window's place when not shown as a tab
    bool maximized = false;
    bool operator==(const WorkspaceDocument& o) const
    {
        return kind == o.kind && list == o.list && group == o.group && geometry == o.geometry
               && maximized == o.maximized;
    }
};

struct WorkspaceState {
    // How the tab groups lie: 0 side by side, 1 one below the other.
    int groupStacking = 0;
    std::vector<WorkspaceDocument> documents; // group by group, in tab order
    std::vector<WorkspaceDocument> windows;   // modeless windows (group 0), oldest first
    int active = -1;                          // the active window's entry; -1 none (older records)
    QByteArray docks;                         // the panes' layout (QMainWindow state)
    // An older record's layout, without length and checksum: read but not
    // kept, since nothing tells it is whole.
    bool docksUnchecked = false;
};

// The record's text form; a line per item, so a reader tells what is wrong.
std::string FormatWorkspace(const WorkspaceState& state);
// Nullopt with the reason in *error when the text is not a whole record.
std::optional<WorkspaceState> ParseWorkspace(std::string_view text, std::string* error = nullptr);

class Workspace {
public:
    // One kind of document window and how to find and reopen it.
    struct Kind {
        std::string name; // no '|' and no line breaks
        // The list name of a view of this kind; nullopt when the view is not of it.
        std::function<std::optional<std::string>(QWidget* view)> describe;
        // Opens (or brings up) a window of this kind on that list; the view,
        // or null when it cannot be reopened.
        std::function<QWidget*(const std::string& list)> open;
        // How the message bar names a window of this kind that did not come
        // back; unset: the kind's name and the list.
        std::function<std::string(const std::string& list)> label;
        // A kind of modeless window outside the document area: its open
        // windows, oldest first. Unset for document kinds.
        std::function<std::vector<QWidget*>()> windows;
    };

    struct RestoreResult {
        bool found = false;   // a record was stored
        bool damaged = false; // it could not be read; nothing was changed
        bool interrupted = false;   // the last start died while restoring; nothing was reopened
        bool layoutUnchecked = false; // an older record: the windows reopened, the panes did not
        int reopened = 0;
        int skipped = 0;
    };

    static constexpr const char* kSection = "Workspace";
    static constexpr const char* kValue = "MDIState";
    // The marker of a restore under way: "<user>_Restoring_<pid>". Older
    // versions set a plain "Restoring" while they ran one.
    static constexpr const char* kRestoringValue = "Restoring";
    static constexpr int kDockStateVersion = 1;

    // The key of a user's record; the shared older form for no user.
    static std::string valueFor(std::string_view user);
    // The key of this process's restore marker for a user.
    static std::string markerFor(std::string_view user, long process);

    // Whose windows save and restore keep (the logged-in user's id).
    void setUser(std::string user) { m_user = std::move(user); }
    const std::string& user() const { return m_user; }
    // Whether a process runs (tests stand in for the system's answer).
    void setProcessCheck(std::function<bool(long process)> running) { m_running = std::move(running); }

    void addKind(Kind kind);
    const std::vector<Kind>& kinds() const { return m_kinds; }

    // The frame's documents and panes as they are now. A view of no known
    // kind is left out.
    WorkspaceState capture(CMainFrame& frame) const;
    // SaveMDIState: captures and stores; false (logged) when the profile
    // could not be written.
    bool save(CMainFrame& frame, pf::ProfileStore& profile) const;
    // Reopens the stored windows in their groups and order, then puts the
    // panes back. A damaged record, an older record's layout and a restore
    // skipped after a start that died in one are logged and shown on the
    // message bar.
    RestoreResult restore(CMainFrame& frame, pf::ProfileStore& profile) const;

private:
    const Kind* kindOf(QWidget* view, std::string* list) const;

    // The user's record text as the file holds it now, taking over the
    // older shared record when the user has none; empty when none.
    std::string takeRecord(pf::ProfileStore& profile, bool& found) const;
    // Clears the markers of the user's restores that died; true when there was one.
    bool clearDeadMarkers(pf::ProfileStore& profile) const;

    std::vector<Kind> m_kinds;
    std::string m_user;
    std::function<bool(long process)> m_running;
};
