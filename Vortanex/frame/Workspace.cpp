#include "frame/Workspace.h"

#include "app/base/LogWriter.h"
#include "frame/CMainFrame.h"

#include "pf/profile_store.h"
#include "ui/document_area.h"

#include <QCryptographicHash>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSplitter>

#include <charconv>
#include <csignal>
#include <cerrno>
#include <strings.h>
#include <unistd.h>

namespace {

constexpr std::string_view kHeader = "Vortanex workspace 2";
// Records written before the layout carried its length and checksum.
constexpr std::string_view kOldHeader = "Vortanex workspace 1";
// Far above what any frame saves; a larger layout is not ours.
constexpr int kMaxLayoutBytes = 1 << 20;
constexpr int kMaxDocuments = 200;
constexpr int kMaxGroups = 64;
constexpr int kMaxCoordinate = 100000;

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find('\n', start);
        const size_t stop = end == std::string_view::npos ? text.size() : end;
        lines.push_back(text.substr(start, stop - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    // A final line break leaves one empty line behind.
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

bool readInt(std::string_view text, int low, int high, int& out)
{
    int value = 0;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || p != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

// "group|x|y|w|h|max|kind|list": the list comes last and may hold '|'.
bool readDocument(std::string_view text, WorkspaceDocument& doc)
{
    std::string_view f[7];
    for (int i = 0; i < 7; ++i) {
        const size_t bar = text.find('|');
        if (bar == std::string_view::npos)
            return false;
        f[i] = text.substr(0, bar);
        text.remove_prefix(bar + 1);
    }
    int x = 0, y = 0, w = 0, h = 0, max = 0;
    if (!readInt(f[0], 0, kMaxGroups - 1, doc.group) || !readInt(f[1], -kMaxCoordinate, kMaxCoordinate, x)
        || !readInt(f[2], -kMaxCoordinate, kMaxCoordinate, y) || !readInt(f[3], 0, kMaxCoordinate, w)
        || !readInt(f[4], 0, kMaxCoordinate, h) || !readInt(f[5], 0, 1, max) || f[6].empty())
        return false;
    doc.geometry = QRect(x, y, w, h);
    doc.maximized = max == 1;
    doc.kind = std::string(f[6]);
    doc.list = std::string(text);
    return true;
}

QByteArray layoutChecksum(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// "length|checksum|base64" of the panes' layout.
bool readLayout(std::string_view text, QByteArray& out)
{
    const size_t bar1 = text.find('|');
    const size_t bar2 = bar1 == std::string_view::npos ? bar1 : text.find('|', bar1 + 1);
    if (bar2 == std::string_view::npos)
        return false;
    int length = 0;
    if (!readInt(text.substr(0, bar1), 0, kMaxLayoutBytes, length))
        return false;
    const std::string_view sum = text.substr(bar1 + 1, bar2 - bar1 - 1);
    const std::string_view coded = text.substr(bar2 + 1);
    // Base64 of at most kMaxLayoutBytes: no longer text is looked at.
    if (coded.size() > size_t(kMaxLayoutBytes / 3 + 1) * 4)
        return false;
    auto decoded = QByteArray::fromBase64Encoding(QByteArray(coded.data(), qsizetype(coded.size())),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != length)
        return false;
    if (layoutChecksum(decoded.decoded) != QByteArray(sum.data(), qsizetype(sum.size())))
        return false;
    out = *decoded;
    return true;
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// A user's id as a part of a profile key: letters, digits, '.', '-' and '_'
// as they are, anything else (the file's own marks among them) as %XX.
std::string keyPart(std::string_view user)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : user) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || c == '.' || c == '-'
            || c == '_') {
            out += c;
        } else {
            out += '%';
            out += digits[u >> 4];
            out += digits[u & 0xF];
        }
    }
    return out;
}

std::string markerPrefix(std::string_view user)
{
    return (user.empty() ? std::string() : keyPart(user) + "_") + Workspace::kRestoringValue + "_";
}

bool processRuns(long process)
{
    return process > 0 && (::kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM);
}

QSplitter* groupSplitter(ui::DocumentArea* docs)
{
    return docs ? docs->findChild<QSplitter*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// The window of a document shown as a free window (after "Cascade" or
// "Tile"), null while it is a tab.
QMdiSubWindow* freeWindowOf(QWidget* view)
{
    auto* sub = qobject_cast<QMdiSubWindow*>(view->parentWidget());
    if (!sub || !sub->mdiArea() || sub->mdiArea()->viewMode() != QMdiArea::SubWindowView)
        return nullptr;
    return sub;
}

// A place the record can hold; anything else is saved as none (the window
// then opens where it would anyway) rather than making the record unreadable.
QRect keepable(const QRect& g)
{
    const auto inside = [](int v) { return v >= -kMaxCoordinate && v <= kMaxCoordinate; };
    if (g.width() < 0 || g.height() < 0 || !inside(g.x()) || !inside(g.y()) || g.width() > kMaxCoordinate
        || g.height() > kMaxCoordinate)
        return QRect();
    return g;
}

} // namespace

std::string FormatWorkspace(const WorkspaceState& state)
{
    std::string text(kHeader);
    text += "\nstacking=" + std::to_string(state.groupStacking) + '\n';
    for (const WorkspaceDocument& d : state.documents) {
        const QRect& g = d.geometry;
        text += "doc=" + std::to_string(d.group) + '|' + std::to_string(g.x()) + '|' + std::to_string(g.y()) + '|'
                + std::to_string(g.width()) + '|' + std::to_string(g.height()) + '|' + (d.maximized ? "1" : "0") + '|'
                + d.kind + '|' + d.list + '\n';
    }
    if (state.active >= 0 && state.active < int(state.documents.size()))
        text += "active=" + std::to_string(state.active) + '\n';
    text += "docks=" + std::to_string(state.docks.size()) + '|' + layoutChecksum(state.docks).toStdString() + '|'
            + state.docks.toBase64().toStdString() + '\n';
    for (const WorkspaceDocument& d : state.windows) {
        const QRect& g = d.geometry;
        text += "win=0|" + std::to_string(g.x()) + '|' + std::to_string(g.y()) + '|' + std::to_string(g.width())
                + '|' + std::to_string(g.height()) + '|' + (d.maximized ? "1" : "0") + '|' + d.kind + '|' + d.list
                + '\n';
    }
    // The last line: a record cut short is told from a whole one.
    text += "end\n";
    return text;
}

std::optional<WorkspaceState> ParseWorkspace(std::string_view text, std::string* error)
{
    auto fail = [error](std::string why) -> std::optional<WorkspaceState> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    const std::vector<std::string_view> lines = splitLines(text);
    if (lines.empty() || (lines.front() != kHeader && lines.front() != kOldHeader))
        return fail("unknown header");
    const bool old = lines.front() == kOldHeader;
    if (lines.back() != "end")
        return fail("the record is cut short");
    WorkspaceState state;
    bool stacking = false;
    bool docks = false;
    bool active = false; // optional: records of older versions have none
    int lastGroup = 0;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::string where = "line " + std::to_string(i + 1);
        if (startsWith(line, "stacking=") && !stacking) {
            if (!readInt(line.substr(9), 0, 1, state.groupStacking))
                return fail(where + ": bad group stacking");
            stacking = true;
        } else if (startsWith(line, "doc=")) {
            WorkspaceDocument doc;
            if (!readDocument(line.substr(4), doc))
                return fail(where + ": bad window entry");
            // Groups come in order: a window never goes back to an earlier one.
            if (doc.group < lastGroup || doc.group > lastGroup + 1)
                return fail(where + ": tab groups out of order");
            lastGroup = doc.group;
            if (int(state.documents.size()) >= kMaxDocuments)
                return fail(where + ": too many windows");
            state.documents.push_back(std::move(doc));
        } else if (startsWith(line, "win=")) {
            WorkspaceDocument win;
            if (!readDocument(line.substr(4), win) || win.group != 0)
                return fail(where + ": bad window entry");
            if (int(state.windows.size()) >= kMaxDocuments)
                return fail(where + ": too many windows");
            state.windows.push_back(std::move(win));
        } else if (startsWith(line, "active=") && !active) {
            if (!readInt(line.substr(7), 0, kMaxDocuments - 1, state.active))
                return fail(where + ": bad active window");
            active = true;
        } else if (startsWith(line, "docks=") && !docks && old) {
            const QByteArray coded = QByteArray::fromStdString(std::string(line.substr(6)));
            if (!QByteArray::fromBase64Encoding(coded, QByteArray::AbortOnBase64DecodingErrors))
                return fail(where + ": bad pane layout");
            state.docksUnchecked = true;
            docks = true;
        } else if (startsWith(line, "docks=") && !docks) {
            if (!readLayout(line.substr(6), state.docks))
                return fail(where + ": the pane layout does not match its length and checksum");
            docks = true;
        } else {
            return fail(where + ": unexpected entry");
        }
    }
    if (!stacking || !docks)
        return fail("an entry is missing");
    if (state.active >= int(state.documents.size()))
        return fail("the active window is not among the windows");
    return state;
}

std::string Workspace::valueFor(std::string_view user)
{
    return user.empty() ? std::string(kValue) : keyPart(user) + "_" + kValue;
}

std::string Workspace::markerFor(std::string_view user, long process)
{
    return markerPrefix(user) + std::to_string(process);
}

std::string Workspace::takeRecord(pf::ProfileStore& profile, bool& found) const
{
    // The file as it is now: another terminal may have saved since this one
    // loaded it, or taken the shared record over.
    const pf::ProfileStore now(profile.path());
    const std::string key = valueFor(m_user);
    found = now.contains(kSection, key);
    if (found)
        return now.getText(kSection, key);
    if (m_user.empty() || !now.contains(kSection, kValue))
        return {};
    // The record of the older shared form: this user's from now on, and
    // nobody else's.
    found = true;
    std::string text = now.getText(kSection, kValue);
    if (!profile.setText(kSection, key, text) || !profile.remove(kSection, kValue))
        WriteLog(0, "Workspace: the shared saved windows could not be moved to the user's own in "
                        + profile.path().string());
    WriteLog(0, "Workspace: the saved windows of the shared record are now user " + m_user + "'s");
    return text;
}

bool Workspace::clearDeadMarkers(pf::ProfileStore& profile) const
{
    const pf::ProfileStore now(profile.path());
    const std::string prefix = markerPrefix(m_user);
    bool died = false;
    for (const std::string& key : now.keys(kSection)) {
        bool dead = false;
        if (strcasecmp(key.c_str(), kRestoringValue) == 0) {
            dead = true; // an older version's, which names no process
        } else if (key.size() > prefix.size() && strncasecmp(key.c_str(), prefix.c_str(), prefix.size()) == 0) {
            long process = 0;
            const char* first = key.data() + prefix.size();
            const auto [p, ec] = std::from_chars(first, key.data() + key.size(), process);
            if (ec != std::errc() || p != key.data() + key.size())
                continue;
            // Another terminal of this user reopening its windows right now
            // is no start that died.
            dead = process == long(::getpid()) || !(m_running ? m_running(process) : processRuns(process));
        }
        if (dead) {
            died = true;
            profile.remove(kSection, key);
        }
    }
    return died;
}

void Workspace::addKind(Kind kind)
{
    m_kinds.push_back(std::move(kind));
}

const Workspace::Kind* Workspace::kindOf(QWidget* view, std::string* list) const
{
    for (const Kind& k : m_kinds) {
        if (!k.describe)
            continue;
        if (std::optional<std::string> name = k.describe(view)) {
            *list = std::move(*name);
            return &k;
        }
    }
    return nullptr;
}

WorkspaceState Workspace::capture(CMainFrame& frame) const
{
    WorkspaceState state;
    ui::DocumentArea* docs = frame.Documents();
    if (QSplitter* split = groupSplitter(docs))
        state.groupStacking = split->orientation() == Qt::Vertical ? 1 : 0;
    if (docs) {
        // documents() walks the groups in order and each group in tab order;
        // an empty group is dropped by the area, so the numbers stay dense.
        int group = -1;
        int dense = -1;
        QWidget* current = docs->activeDocument();
        for (QWidget* view : docs->documents()) {
            std::string list;
            const Kind* kind = kindOf(view, &list);
            if (!kind)
                continue;
            if (list.find_first_of("\r\n") != std::string::npos) {
                WriteLog(0, "Workspace: a window's list name holds a line break; not saved");
                continue;
            }
            const int g = docs->groupOf(view);
            if (g != group) {
                group = g;
                ++dense;
            }
            WorkspaceDocument d;
            d.kind = kind->name;
            d.list = list;
            d.group = dense;
            // A place only means something for a free window; a tab has none.
            if (auto* sub = freeWindowOf(view)) {
                d.maximized = sub->isMaximized();
                d.geometry = d.maximized ? sub->normalGeometry() : sub->geometry();
            }
            d.geometry = keepable(d.geometry);
            if (view == current)
                state.active = int(state.documents.size());
            state.documents.push_back(std::move(d));
            if (int(state.documents.size()) >= kMaxDocuments)
                break;
        }
    }
    for (const Kind& k : m_kinds) {
        if (!k.windows || !k.describe)
            continue;
        for (QWidget* w : k.windows()) {
            std::optional<std::string> list = w ? k.describe(w) : std::nullopt;
            if (!list || list->find_first_of("\r\n") != std::string::npos
                || int(state.windows.size()) >= kMaxDocuments)
                continue;
            WorkspaceDocument d;
            d.kind = k.name;
            d.list = std::move(*list);
            const QWidget* top = w->window();
            d.maximized = top->isMaximized();
            d.geometry = keepable(d.maximized ? top->normalGeometry() : top->geometry());
            state.windows.push_back(std::move(d));
        }
    }
    state.docks = frame.saveState(kDockStateVersion);
    return state;
}

bool Workspace::save(CMainFrame& frame, pf::ProfileStore& profile) const
{
    try {
        const WorkspaceState state = capture(frame);
        if (!profile.setText(kSection, valueFor(m_user), FormatWorkspace(state))) {
            WriteLog(0, "Workspace could not be saved to " + profile.path().string());
            return false;
        }
        WriteLog(1, "Workspace saved: " + std::to_string(state.documents.size()) + " window(s)");
        return true;
    } catch (...) {
        WriteLog(0, "Exception in SaveMDIState");
        return false;
    }
}

Workspace::RestoreResult Workspace::restore(CMainFrame& frame, pf::ProfileStore& profile) const
{
    RestoreResult result;
    if (clearDeadMarkers(profile)) {
        // The last start died while reopening: skipping once lets the
        // terminal start; the close saves the windows open then.
        const pf::ProfileStore now(profile.path());
        result.found = now.contains(kSection, valueFor(m_user)) || (!m_user.empty() && now.contains(kSection, kValue));
        result.interrupted = true;
        WriteLog(0, "Workspace: the last start stopped while reopening the saved windows; not reopened this time");
        frame.SetUserMessage(3, ' ',
                             "The last start stopped while reopening the saved windows; they were not reopened "
                             "this time.");
        return result;
    }
    const std::string record = takeRecord(profile, result.found);
    if (!result.found)
        return result;
    std::string error;
    const std::optional<WorkspaceState> state = ParseWorkspace(record, &error);
    if (!state) {
        result.damaged = true;
        WriteLog(0, "Saved workspace is damaged (" + error + "); windows were not reopened");
        frame.SetUserMessage(3, ' ', "The saved window layout could not be read; the windows were not reopened.");
        return result;
    }
    const std::string marker = markerFor(m_user, long(::getpid()));
    if (!profile.setInt(kSection, marker, 1))
        WriteLog(0, "Workspace: the restore marker could not be written to " + profile.path().string());
    struct ClearMarker {
        pf::ProfileStore& profile;
        const std::string& marker;
        ~ClearMarker() { profile.remove(Workspace::kSection, marker); }
    } clearMarker{profile, marker};
    ui::DocumentArea* docs = frame.Documents();
    const Qt::Orientation newGroup = state->groupStacking == 1 ? Qt::Horizontal : Qt::Vertical;
    QWidget* activeView = nullptr;
    std::vector<std::string> missing; // what did not come back, as the message bar names it
    const auto reopen = [&](const WorkspaceDocument& d) -> QWidget* {
        const Kind* kind = nullptr;
        for (const Kind& k : m_kinds)
            if (k.name == d.kind)
                kind = &k;
        QWidget* view = nullptr;
        try {
            if (kind && kind->open)
                view = kind->open(d.list);
        } catch (...) {
            WriteLog(0, "Exception in reopening a saved window");
            view = nullptr;
        }
        if (view) {
            ++result.reopened;
            return view;
        }
        ++result.skipped;
        WriteLog(0, "Workspace: " + d.kind + (d.list.empty() ? std::string() : " \"" + d.list + "\"")
                        + " could not be reopened; skipped");
        std::string label;
        try {
            if (kind && kind->label)
                label = kind->label(d.list);
        } catch (...) {
            label.clear();
        }
        if (label.empty())
            label = d.kind + (d.list.empty() ? std::string() : " \"" + d.list + "\"");
        missing.push_back(std::move(label));
        return nullptr;
    };
    for (size_t entry = 0; entry < state->documents.size(); ++entry) {
        const WorkspaceDocument& d = state->documents[entry];
        QWidget* view = reopen(d);
        if (!view)
            continue;
        if (int(entry) == state->active)
            activeView = view;
        if (docs && docs->tabGroupsEnabled() && docs->groupOf(view) >= 0) {
            // New windows open in the active group; step this one on to its own.
            for (int guard = 0; guard < kMaxGroups && docs->groupOf(view) < d.group; ++guard) {
                docs->activateDocument(view);
                const bool moved = docs->groupOf(view) + 1 < docs->groupCount() ? docs->moveToNextGroup()
                                                                                 : docs->newTabGroup(newGroup);
                if (!moved)
                    break;
            }
        }
        // Only free windows were saved with a place: their group shows free
        // windows again.
        auto* sub = qobject_cast<QMdiSubWindow*>(view->parentWidget());
        if (sub && sub->mdiArea() && d.geometry.isValid()) {
            sub->mdiArea()->setViewMode(QMdiArea::SubWindowView);
            sub->showNormal();
            sub->setGeometry(d.geometry);
            if (d.maximized)
                sub->showMaximized();
        }
    }
    for (const WorkspaceDocument& d : state->windows) {
        QWidget* view = reopen(d);
        QWidget* top = view ? view->window() : nullptr;
        if (!top || top == &frame || !d.geometry.isValid())
            continue;
        top->setGeometry(d.geometry);
        if (d.maximized)
            top->showMaximized();
    }
    for (const std::string& name : missing)
        frame.SetUserMessage(3, ' ', "The saved window " + name + " could not be reopened.");
    if (state->docksUnchecked) {
        result.layoutUnchecked = true;
        WriteLog(0, "Workspace: the pane layout was saved without its checksum; not restored");
        frame.SetUserMessage(3, ' ',
                             "The saved pane layout could not be checked and was not restored; it is saved again "
                             "at the close.");
    } else if (!state->docks.isEmpty() && !frame.restoreState(state->docks, kDockStateVersion)) {
        WriteLog(0, "Workspace: the pane layout could not be restored");
    }
    // Each reopened window became active in turn; the one active at the
    // close is made so again.
    if (docs && activeView)
        docs->activateDocument(activeView);
    WriteLog(1, "Workspace restored: " + std::to_string(result.reopened) + " window(s), "
                    + std::to_string(result.skipped) + " skipped");
    return result;
}
