// The feed header comes before any Qt header: a member of the feed tables is
// named like one of Qt's keyword macros.
#include "watch/WatchFeed.h"

#include "watch/CWatch.h"

#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "watch/WatchExchange.h"
#include "watch/WatchTextRules.h"
#include "watch/WatchlistServer.h"
#include "watch/base/WatchlistTable.h"

#include "ui/modal_host.h"

#include <algorithm>
#include <cstring>

namespace watch_detail {
namespace {

ui::FormSpec watchSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CWatch::kTemplateId;
    spec.name = "CWatch";
    spec.caption = "WatchList";
    spec.width = 200;
    spec.height = 86;
    spec.controls = {
        {CWatch::kSelectLabel, ControlKind::Label, "Select WatchList :", {8, 10, 70, 8}},
        {CWatch::kCategory, ControlKind::Combo, "", {82, 8, 110, 80}},
        {CWatch::kNameLabel, ControlKind::Label, "WatchList Name:", {8, 30, 70, 8}},
        {CWatch::kList, ControlKind::Combo, "", {82, 28, 110, 80}},
        {CWatch::kName, ControlKind::Edit, "", {82, 28, 110, 12}},
        {1, ControlKind::DefaultButton, "OK", {88, 64, 50, 14}},
        {2, ControlKind::Button, "Cancel", {142, 64, 50, 14}},
    };
    return spec;
}

std::string segmentName(int id)
{
    for (int i = 0; i < pv_user_info.segment_count && i < static_cast<int>(pv_user_info.segments.size()); ++i)
        if (pv_user_info.segments[static_cast<size_t>(i)].id == id) {
            const ExchangeSegment& s = pv_user_info.segments[static_cast<size_t>(i)];
            return std::string(s.name, strnlen(s.name, sizeof s.name));
        }
    return {};
}

// "MIS Options" is the leveraged options list while segment 12 exists.
bool isMisOptions(const std::string& name)
{
    return name == "MIS Options" && !segmentName(12).empty();
}

// The first in-use record of a name; -1 when none.
int recordOfName(const std::string& name)
{
    WatchlistTable& table = WatchlistTable::instance();
    for (int i = 0; i < table.count(); ++i) {
        const WatchlistRecord r = table.record(i);
        if (r.inUse && name == r.name)
            return i;
    }
    return -1;
}

// A list in use holding the name. A list deleted in this session keeps its
// record (so no other list's index moves) but not its name: the name can be
// given again.
bool nameTaken(const std::string& name)
{
    return recordOfName(name) >= 0;
}

// The name leaves every record not in use before a list takes it, so a
// look-up by name never finds the deleted list instead of the new one.
void releaseName(const std::string& name)
{
    WatchlistTable& table = WatchlistTable::instance();
    for (int i = 0; i < table.count(); ++i) {
        const WatchlistRecord r = table.record(i);
        if (!r.inUse && name == r.name)
            table.update(i, [](WatchlistRecord& rec) { rec.name[0] = '\0'; });
    }
}

void inputError(const std::string& text) { MsgBoxInfoCaption(text, "Input Error"); }

} // namespace
} // namespace watch_detail

CWatch::CWatch(CVortanexView* view, int action, int windowSlot, QWidget* parent)
    : ui::Form(watch_detail::watchSpec(), parent), m_view(view), m_action(action), m_windowSlot(windowSlot)
{
    onClick(1, [this] { OnOK(); });
    onClick(2, [this] { OnCancel(); });
    onChanged(kCategory, [this] {
        if (m_action == 4 || m_action == 5)
            fillCategoryLists();
    });
}

CWatch::CWatch(std::string caption, std::string studyName, QWidget* parent)
    : ui::Form(watch_detail::watchSpec(), parent), m_chartStudy(true), m_studyName(std::move(studyName)),
      m_caption(std::move(caption))
{
    onClick(1, [this] { OnOK(); });
    onClick(2, [this] { OnCancel(); });
}

void CWatch::onInit()
{
    try {
        if (m_chartStudy) {
            setWindowTitle(QString::fromStdString(m_caption));
            // The name takes the place of the category combo.
            if (QWidget* name = control(kName); name && control(kCategory))
                name->setGeometry(control(kCategory)->geometry());
            setText(kName, m_studyName);
            setText(kSelectLabel, "Chart Study Name :");
            setText(kNameLabel, "");
            showControl(kCategory, false);
            showControl(kList, false);
        } else {
            WatchlistTable& table = WatchlistTable::instance();
            std::vector<std::string> names;
            for (int i = 0; i < table.count(); ++i)
                names.emplace_back(table.record(i).name);
            setComboItems(kCategory, names);
            if (m_view && m_view->watchIndex() >= 0 && m_view->watchIndex() < static_cast<int>(names.size()))
                setComboIndex(kCategory, m_view->watchIndex());
            if (m_action > 0)
                SetMessage();
        }
        WriteLog(3, "Exit :CWatch::OnInitDialog");
    } catch (...) {
        WriteLog(0, "Exception in watch");
    }
}

void CWatch::SetMessage()
{
    WriteLog(3, "Entry : CWatch::SetMessage");
    WatchlistTable& table = WatchlistTable::instance();
    setComboItems(kCategory, {});
    setComboItems(kList, {});
    showControl(kList, false);
    if (m_action == 4 || m_action == 5) {
        setComboItems(kCategory, table.groupNames());
        setComboIndex(kCategory, 0);
        fillCategoryLists();
    } else if (m_action != 1) {
        std::vector<std::string> names;
        int selected = 0;
        for (int i = 0; i < table.count(); ++i) {
            const WatchlistRecord r = table.record(i);
            if (!r.inUse || r.id < 0 || r.type == 8 || std::find(names.begin(), names.end(), r.name) != names.end())
                continue;
            if (m_view && i == m_view->watchIndex())
                selected = static_cast<int>(names.size());
            names.emplace_back(r.name);
        }
        setComboItems(kCategory, names);
        setComboIndex(kCategory, names.empty() ? -1 : selected);
    }
    switch (m_action) {
    case 1:
        showControl(kSelectLabel, false);
        showControl(kCategory, false);
        setWindowTitle(QStringLiteral("Add Watchlist"));
        break;
    case 2:
        setWindowTitle(QStringLiteral("Rename Watchlist"));
        break;
    case 3:
        showControl(kName, false);
        showControl(kNameLabel, false);
        setWindowTitle(QStringLiteral("Remove Watchlist"));
        break;
    default:
        showControl(kName, false);
        setText(kNameLabel, "Select Watchlist");
        showControl(kList, true);
        setText(kSelectLabel, "Select Category :");
        break;
    }
    WriteLog(3, "Exit : CWatch::SetMessage");
}

void CWatch::fillCategoryLists()
{
    WatchlistTable& table = WatchlistTable::instance();
    const int group = comboIndex(kCategory);
    const std::vector<std::string> groups = table.groupNames();
    const std::string groupName = group >= 0 && group < static_cast<int>(groups.size()) ? groups[size_t(group)] : "";
    const std::string segment8 = watch_detail::segmentName(8);
    std::vector<std::string> names;
    for (int i = 0; i < table.count(); ++i) {
        const WatchlistRecord r = table.record(i);
        if (!r.inUse || r.group != group || std::find(names.begin(), names.end(), r.name) != names.end())
            continue;
        if (!segment8.empty() && std::string(r.name) == "All " + segment8 && groupName != segment8)
            continue;
        names.emplace_back(r.name);
    }
    setComboItems(kList, names);
    setComboIndex(kList, names.empty() ? -1 : 0);
}

void CWatch::OnOK()
{
    SetAccessTime();
    try {
        if (m_chartStudy) {
            std::string name;
            if (!ChartStudyNameOk(text(kName), &name)) {
                MsgBoxOk("Please enter proper Chart study name, special characters not allowed and chart name "
                         "cannot be blank");
                focus(kName);
                return;
            }
            m_studyName = name;
            finish(1);
            return;
        }
        switch (m_action) {
        case 1: addList(); return;
        case 2: renameList(); return;
        case 3: removeList(); return;
        case 4:
        case 5: viewList(); return;
        default: finish(1); return;
        }
    } catch (...) {
        WriteLog(0, "Exception in CWatch::OnOK() ");
    }
}

void CWatch::OnCancel()
{
    finish(2);
}

void CWatch::addList()
{
    std::string name;
    const NameProblem problem = CheckWatchlistName(text(kName), &name);
    if (problem == NameProblem::Forbidden) {
        MsgBoxOk(NameProblemText(problem));
        focus(kName);
        return;
    }
    if (problem != NameProblem::None) {
        watch_detail::inputError(NameProblemText(problem));
        focus(kName);
        return;
    }
    if (watch_detail::nameTaken(name)) {
        watch_detail::inputError("Watchlist Name already exists.");
        focus(kName);
        return;
    }
    if (m_view) {
        int id = 0;
        const std::string user(FixedTextView(pv_user_info.user_id));
        if (Update_Watchlist(1, id, user, name, {}, this) == 0) {
            WatchlistTable& table = WatchlistTable::instance();
            watch_detail::releaseName(name);
            WatchlistRecord r;
            r.id = id;
            CopyFixedText(r.name, name);
            r.columnCount = table.defaultColumnCount() + kFixedWatchColumns;
            r.kinds = table.defaultKinds();
            r.type = 0;
            r.inUse = 1;
            r.group = 0;
            r.rowCapacity = 10;
            r.chainKind = -1;
            r.chainSecurity = -1;
            if (table.count() >= table.capacity())
                table.setCapacity(table.capacity() + 10);
            const int index = table.append(r);
            table.raiseNewListCounter();
            WatchCommands::UpdateWatchlist(2, index);
            finish(1);
            if (m_view)
                m_view->SelectWatchlist(index, 1);
            return;
        }
    }
    finish(1);
}

void CWatch::renameList()
{
    std::string name;
    const NameProblem problem = CheckWatchlistName(text(kName), &name);
    if (problem == NameProblem::Forbidden) {
        MsgBoxOk(NameProblemText(problem));
        focus(kName);
        return;
    }
    if (problem != NameProblem::None) {
        watch_detail::inputError(NameProblemText(problem));
        focus(kName);
        return;
    }
    if (!m_view) {
        finish(1);
        return;
    }
    const std::string old = comboIndex(kCategory) >= 0 ? text(kCategory) : std::string();
    if (old.empty()) {
        watch_detail::inputError("Please Select a Watchlist");
        return;
    }
    WriteLog(0, "Rename Selected Watchlist :" + old);
    if (watch_detail::nameTaken(name)) {
        watch_detail::inputError("Watchlist Name already exists.");
        return;
    }
    const int index = watch_detail::recordOfName(old);
    if (index < 0) {
        finish(1);
        return;
    }
    WatchlistTable& table = WatchlistTable::instance();
    const WatchlistRecord r = table.record(index);
    if (r.id < 0 || watch_detail::isMisOptions(old)) {
        watch_detail::inputError("You cannot rename Default Watchlist");
        return;
    }
    if (r.id != 0) {
        int id = r.id;
        const std::string user(FixedTextView(pv_user_info.user_id));
        if (Update_Watchlist(2, id, user, old, name, this) != 0) {
            finish(1);
            return;
        }
    }
    watch_detail::releaseName(name);
    table.update(index, [&](WatchlistRecord& rec) { CopyFixedText(rec.name, name); });
    WatchCommands::UpdateWatchlist(3, index);
    for (CVortanexView* v : CVortanexView::openViews())
        if (v->watchIndex() == index)
            v->ListRenamed();
    finish(1);
}

void CWatch::removeList()
{
    const std::string name = comboIndex(kCategory) >= 0 ? text(kCategory) : std::string();
    if (name.empty()) {
        watch_detail::inputError("Please Select a Watchlist");
        return;
    }
    WriteLog(0, "Removing Selected Watchlist :" + name);
    const int index = watch_detail::recordOfName(name);
    if (index < 0) {
        finish(1);
        return;
    }
    WatchlistTable& table = WatchlistTable::instance();
    const WatchlistRecord r = table.record(index);
    if (r.id < 0 || watch_detail::isMisOptions(name)) {
        watch_detail::inputError("You cannot remove Default Watchlist");
        return;
    }
    if (r.id > 0) {
        int id = r.id;
        const std::string user(FixedTextView(pv_user_info.user_id));
        if (Update_Watchlist(3, id, user, name, {}, this) != 0) {
            finish(1);
            return;
        }
    }
    WatchCommands::UpdateWatchlist(4, index);
    // The record stays (unused), so no other list's index moves.
    table.update(index, [](WatchlistRecord& rec) { rec.inUse = 0; });
    for (CVortanexView* v : CVortanexView::openViews())
        if (v->watchIndex() == index) {
            WriteLog(0, "Removing Watchlist window");
            v->Close_Window();
        }
    finish(1);
}

void CWatch::viewList()
{
    WatchlistTable& table = WatchlistTable::instance();
    const int group = comboIndex(kCategory);
    const std::vector<std::string> groups = table.groupNames();
    const std::string category = group >= 0 && group < static_cast<int>(groups.size()) ? groups[size_t(group)] : "";
    const std::string name = comboIndex(kList) >= 0 ? text(kList) : std::string();
    if (category == "Future Stock")
        for (CVortanexView* v : CVortanexView::openViews())
            if (v->listSource() == 3 && v->list().group == group) {
                MsgBoxOk("You are allowed to open only one Future Stock Chain");
                return;
            }
    if (name.empty()) {
        watch_detail::inputError("Please Select a Watchlist");
        return;
    }
    WriteLog(0, "Selected Watchlist :" + name);
    const bool mis = watch_detail::isMisOptions(name);
    if (category == "MIS Watchlist" && mis)
        for (const auto& w : WatchFeedLink::openWatchWindows())
            if (w.type == 8) {
                MsgBoxInfo("You are allowed to open only one MIS Options Watchlist");
                return;
            }
    m_chosen = -1;
    for (int i = 0; i < table.count() && m_chosen < 0; ++i) {
        const WatchlistRecord r = table.record(i);
        if (r.inUse && r.group == group && name == r.name)
            m_chosen = i;
    }
    if (m_chosen < 0) {
        watch_detail::inputError("Please Select a Watchlist");
        return;
    }
    if (name == "MIS Options")
        table.update(m_chosen, [](WatchlistRecord& r) { r.type = 8; });
    finish(1);
    if (m_action == 4 && m_view) {
        for (CVortanexView* v : CVortanexView::openViews())
            if (v->watchIndex() == m_chosen) {
                WatchCommands::Activate(v);
                return;
            }
        m_view->SelectWatchlist(m_chosen, mis ? 0 : 1);
    }
}

int Update_Watchlist(int action, int& listId, const std::string& userId, const std::string& name,
                     const std::string& secondName, QWidget* busy)
{
    WriteLog(0, "Entry Update_Watchlist");
    int result = -1;
    try {
        WatchSession session = CurrentWatchSession();
        session.userId = userId;
        const std::string text = WatchlistRequestText(session, action, listId, name, secondName);
        if (text.empty())
            return -1;
        WriteLog(3, text);
        WatchReply reply;
        ServerAccess& server = WatchServerAccess();
        RunWatchExchange(busy, [&] {
            reply = ExchangeWatchText(server, session.encrypt, WatchlistTransCode(action), text);
        });
        if (reply.status == 407) {
            MsgBoxInfoCaption("Proxy Authentication Failed", "Internet Error");
        } else if (reply.status != 200) {
            MsgBoxInfoCaption(
                formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", reply.status),
                "Internet Error");
        } else {
            WatchUserMessage(formatTextCapped(511, "%s - %s", name.c_str(), reply.message.substr(0, 150).c_str()));
            if (!reply.hasResult) {
                WriteLog(0, "Update_Watchlist : the reply has no result field");
                MsgBoxOk("The server's reply could not be read. The watch list was not changed.");
            } else if (reply.result != 0) {
                MsgBoxOk(reply.message);
                result = reply.result;
            } else if (action == 1 && !reply.hasId) {
                // Without its id the new list could never be saved or removed.
                WriteLog(0, "Update_Watchlist : the reply carries no list id");
                MsgBoxOk("The server's reply carries no id for the new watch list. The watch list was not added.");
            } else {
                if (action == 1)
                    listId = reply.id;
                result = 0;
            }
        }
    } catch (...) {
        WriteLog(0, "Exception in Update_Watchlist");
    }
    WriteLog(0, "Exit Update_Watchlist");
    return result;
}

int ChooseWatchlist(int action)
{
    CWatch dialog(nullptr, action, -1);
    if (ui::modalHost().run(dialog) != 1)
        return -1;
    return dialog.chosenIndex();
}
