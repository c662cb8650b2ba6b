#include "watch/CColumnSelect.h"

#include "server/WatchColumns.h"

#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "watch/base/WatchlistTable.h"

#include <algorithm>

namespace column_select_detail {
namespace {

ui::FormSpec columnSelectSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CColumnSelect::kTemplateId;
    spec.name = "CColumnSelect";
    spec.caption = "Watchlist - Column Selection";
    spec.width = 300;
    spec.height = 200;
    spec.controls = {
        {-1, ControlKind::Label, "Watchlists :", {8, 10, 50, 8}},
        {CColumnSelect::kWatchlists, ControlKind::Combo, "", {60, 8, 120, 80}},
        {-1, ControlKind::Label, "Available Columns", {8, 28, 100, 8}},
        {CColumnSelect::kAvailable, ControlKind::List, "", {8, 38, 110, 130}},
        {CColumnSelect::kAdd, ControlKind::Button, "Add >", {124, 60, 52, 14}},
        {CColumnSelect::kRemove, ControlKind::Button, "< Remove", {124, 80, 52, 14}},
        {-1, ControlKind::Label, "Selected Columns", {182, 28, 100, 8}},
        {CColumnSelect::kSelected, ControlKind::List, "", {182, 38, 110, 130}},
        {CColumnSelect::kMoveUp, ControlKind::Button, "Move Up", {124, 110, 52, 14}},
        {CColumnSelect::kMoveDown, ControlKind::Button, "Move Down", {124, 130, 52, 14}},
        {CColumnSelect::kSave, ControlKind::Button, "Save", {128, 178, 50, 14}},
        {CColumnSelect::kSetDefault, ControlKind::Button, "Set As Default", {182, 178, 58, 14}},
        {2, ControlKind::Button, "Cancel", {244, 178, 48, 14}},
    };
    return spec;
}

int kindOfCaption(const std::string& caption)
{
    for (int k = 0; k < kColumnKinds; ++k)
        if (caption == ColumnKindCaption(k))
            return k;
    return -1;
}

void pleaseSelect(const char* which)
{
    MsgBoxOk(std::string("Please select the column from ") + which + " columns");
}

} // namespace
} // namespace column_select_detail

CColumnSelect::CColumnSelect(int watchIndex, std::vector<std::string> chosen, QWidget* parent)
    : ui::Form(column_select_detail::columnSelectSpec(), parent), m_watchIndex(watchIndex), m_chosen(std::move(chosen))
{
    onClick(kAdd, [this] { OnAdd(); });
    onClick(kRemove, [this] { OnRemove(); });
    onClick(kMoveUp, [this] { OnMoveUp(); });
    onClick(kMoveDown, [this] { OnMoveDown(); });
    onClick(kSave, [this] { OnSave(); });
    onClick(kSetDefault, [this] { OnSetDefault(); });
}

void CColumnSelect::onInit()
{
    try {
        SetAccessTime();
        SetMessage();
    } catch (...) {
        WriteLog(0, "Exception in OnInitDialog (CCS)");
    }
}

void CColumnSelect::SetMessage()
{
    WriteLog(3, "Entry in CColumnSelect::SetMessage()");
    try {
        WatchlistTable& table = WatchlistTable::instance();
        std::vector<std::string> lists;
        int shown = -1;
        for (int i = 0; i < table.count(); ++i) {
            const WatchlistRecord r = table.record(i);
            if (!r.inUse)
                continue;
            if (i == m_watchIndex)
                shown = static_cast<int>(lists.size());
            lists.emplace_back(r.name);
        }
        setComboItems(kWatchlists, lists);
        setComboIndex(kWatchlists, shown);
        enable(kWatchlists, false);
        std::vector<std::string> captions;
        for (int k = 0; k < kColumnKinds; ++k)
            captions.emplace_back(ColumnKindCaption(k));
        setComboItems(kAvailable, captions);
        setComboItems(kSelected, m_chosen);
    } catch (...) {
        WriteLog(0, "Exception in SetMessage");
    }
}

std::vector<std::string> CColumnSelect::selectedCaptions() const
{
    return comboItems(kSelected);
}

void CColumnSelect::setSelected(const std::vector<std::string>& captions, int current)
{
    setComboItems(kSelected, captions);
    setComboIndex(kSelected, current);
}

void CColumnSelect::OnAdd()
{
    try {
        const int row = comboIndex(kAvailable);
        if (row < 0) {
            column_select_detail::pleaseSelect("Available");
            return;
        }
        std::vector<std::string> selected = selectedCaptions();
        const std::string caption = ColumnKindCaption(row);
        if (std::find(selected.begin(), selected.end(), caption) != selected.end())
            return;
        selected.push_back(caption);
        setSelected(selected, static_cast<int>(selected.size()) - 1);
    } catch (...) {
        WriteLog(0, "Exception in OnAdd");
    }
}

void CColumnSelect::OnRemove()
{
    WriteLog(3, "Entry in CColumnSelect::OnRemove()");
    try {
        const int row = comboIndex(kSelected);
        if (row < 0) {
            column_select_detail::pleaseSelect("Selected");
            return;
        }
        std::vector<std::string> selected = selectedCaptions();
        selected.erase(selected.begin() + row);
        setSelected(selected, -1);
    } catch (...) {
        WriteLog(0, "Exception in OnRemove");
    }
}

void CColumnSelect::OnMoveUp()
{
    try {
        const int row = comboIndex(kSelected);
        if (row < 0) {
            column_select_detail::pleaseSelect("Selected");
            return;
        }
        if (row == 0)
            return;
        std::vector<std::string> selected = selectedCaptions();
        std::swap(selected[size_t(row)], selected[size_t(row - 1)]);
        setSelected(selected, row - 1);
    } catch (...) {
        WriteLog(0, "Exception in OnMoveUp");
    }
}

void CColumnSelect::OnMoveDown()
{
    try {
        const int row = comboIndex(kSelected);
        if (row < 0) {
            column_select_detail::pleaseSelect("Selected");
            return;
        }
        std::vector<std::string> selected = selectedCaptions();
        if (row + 1 >= static_cast<int>(selected.size()))
            return;
        std::swap(selected[size_t(row)], selected[size_t(row + 1)]);
        setSelected(selected, row + 1);
    } catch (...) {
        WriteLog(0, "Exception in OnMoveDown");
    }
}

std::vector<int> CColumnSelect::selectedKinds()
{
    m_chosen.clear();
    std::vector<int> kinds;
    for (const std::string& caption : selectedCaptions()) {
        const int kind = column_select_detail::kindOfCaption(caption);
        if (kind < 0 || std::find(kinds.begin(), kinds.end(), kind) != kinds.end())
            continue;
        m_chosen.push_back(caption);
        kinds.push_back(kind);
    }
    return kinds;
}

// The chosen kinds first, then the other kinds in id order: the list keeps
// all 23 kinds, so a later choice can never find a stale or doubled kind.
static std::array<int32_t, kColumnKinds> kindsWithChosenFirst(const std::vector<int>& chosen)
{
    std::array<int32_t, kColumnKinds> kinds{};
    size_t n = 0;
    for (int k : chosen)
        kinds[n++] = k;
    for (int k = 0; k < kColumnKinds && n < kinds.size(); ++k)
        if (std::find(chosen.begin(), chosen.end(), k) == chosen.end())
            kinds[n++] = k;
    return kinds;
}

void CColumnSelect::OnSave()
{
    try {
        const std::vector<int> kinds = selectedKinds();
        WriteLog(0, formatText("OnSave : Selected Columns [%d]", static_cast<int>(kinds.size())));
        // Only the 23 kinds and the count change: nothing after the kinds
        // (row count, capacity, in-use, group) is touched.
        WatchlistTable::instance().update(m_watchIndex, [&](WatchlistRecord& r) {
            r.kinds = kindsWithChosenFirst(kinds);
            r.columnCount = static_cast<int>(kinds.size()) + kFixedWatchColumns;
        });
        m_result = 1;
        finish(1);
    } catch (...) {
        WriteLog(0, "Exception in OnSave");
    }
}

void CColumnSelect::OnSetDefault()
{
    try {
        const std::vector<int> chosen = selectedKinds();
        WriteLog(0, formatText("OnSetDefault : Selected Columns [%d]", static_cast<int>(chosen.size())));
        const auto kinds = kindsWithChosenFirst(chosen);
        const int count = static_cast<int>(chosen.size());
        WatchlistTable& table = WatchlistTable::instance();
        for (int i = 0; i < table.count(); ++i)
            table.update(i, [&](WatchlistRecord& r) {
                r.kinds = kinds;
                r.columnCount = count + kFixedWatchColumns;
            });
        table.setDefaultLayout(count, kinds);
        WatchColumnLayout layout;
        layout.count = count;
        layout.kinds = kinds;
        SaveWatchColumns(ProgramPaths(), FixedTextView(pv_user_info.user_id), layout);
        // The views rebuild their grids on the UI thread after this returns;
        // ticks are drained there too, so no window is paused by freeing its
        // open-window slot.
        m_result = 2;
        finish(1);
    } catch (...) {
        WriteLog(0, "Exception in OnSetDefault");
    }
}
