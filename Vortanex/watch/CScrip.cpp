// The feed and server headers come before any Qt header: a member of the feed
// tables is named like one of Qt's keyword macros.
#include "watch/WatchFeed.h"

#include "server/MarketLookups.h"
#include "server/SecurityRequests.h"
#include "server/SecurityTable.h"

#include "watch/CScrip.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "watch/CVortanexView.h"
#include "watch/ScripFinder.h"
#include "watch/WatchExchange.h"
#include "watch/WatchTextRules.h"
#include "watch/WatchlistServer.h"
#include "watch/base/WatchlistTable.h"

#include "ui/text_fit.h"

#include <QHeaderView>
#include <QTreeWidget>

#include <algorithm>
#include <cstring>

namespace scrip_detail {
namespace {

// The results' key column before a search, and at least after one.
constexpr int kSecurityColumnWidth = 200;

ui::FormSpec scripSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CScrip::kTemplateId;
    spec.name = "CScrip";
    spec.caption = "Security Search";
    spec.width = 380;
    spec.height = 280;
    spec.controls = {
        {-1, ControlKind::Label, "Scrip Name :", {8, 10, 50, 8}},
        {CScrip::kName, ControlKind::Edit, "", {60, 8, 80, 12}},
        {-1, ControlKind::Label, "Exch Code :", {150, 10, 45, 8}},
        {CScrip::kCode, ControlKind::Edit, "", {198, 8, 60, 12}},
        {CScrip::kSearch, ControlKind::DefaultButton, "&Search", {268, 7, 50, 14}},
        {-1, ControlKind::Group, "Exchange", {8, 26, 110, 26}},
        {CScrip::kNse, ControlKind::Check, "NSE", {14, 36, 40, 10}},
        {CScrip::kBse, ControlKind::Check, "BSE", {60, 36, 40, 10}},
        {-1, ControlKind::Group, "Currency", {124, 26, 110, 26}},
        {CScrip::kNseFx, ControlKind::Check, "NSE", {130, 36, 40, 10}},
        {CScrip::kMcxSx, ControlKind::Check, "MCX-SX", {176, 36, 50, 10}},
        {-1, ControlKind::Group, "Commodity", {240, 26, 110, 26}},
        {CScrip::kNcdex, ControlKind::Check, "NCDEX", {246, 36, 46, 10}},
        {CScrip::kMcx, ControlKind::Check, "MCX", {296, 36, 46, 10}},
        {CScrip::kCash, ControlKind::Check, "Cash", {14, 58, 40, 10}},
        {CScrip::kFuture, ControlKind::Check, "Future", {60, 58, 40, 10}},
        {CScrip::kOption, ControlKind::Check, "Option", {106, 58, 40, 10}},
        {CScrip::kOthers, ControlKind::Check, "Others", {152, 58, 40, 10}},
        {-1, ControlKind::Label, "Expiry Date :", {8, 76, 50, 8}},
        {CScrip::kExpiry, ControlKind::Combo, "", {60, 74, 80, 80}},
        {-1, ControlKind::Label, "Strike Price :", {150, 76, 50, 8}},
        {CScrip::kStrike, ControlKind::Combo, "", {200, 74, 80, 80}},
        {CScrip::kCategory, ControlKind::Combo, "", {8, 94, 130, 80}},
        {CScrip::kList, ControlKind::Combo, "", {146, 94, 134, 80}},
        {-1, ControlKind::Label, "Search Results", {8, 112, 80, 8}},
        {CScrip::kResults, ControlKind::Static, "", {8, 122, 364, 130}},
        {1, ControlKind::Button, "OK", {268, 260, 50, 14}},
        {2, ControlKind::Button, "Cancel", {322, 260, 50, 14}},
    };
    return spec;
}

constexpr int kExchangeBoxes[6] = {CScrip::kNse, CScrip::kBse, CScrip::kNseFx, CScrip::kMcxSx, CScrip::kNcdex,
                                   CScrip::kMcx};
constexpr const char* kExchangeCodes[6] = {"NN", "BN", "CN", "CM", "NC", "MC"};

std::string segmentName(int id)
{
    for (int i = 0; i < pv_user_info.segment_count && i < static_cast<int>(pv_user_info.segments.size()); ++i)
        if (pv_user_info.segments[static_cast<size_t>(i)].id == id) {
            const ExchangeSegment& s = pv_user_info.segments[static_cast<size_t>(i)];
            return std::string(s.name, strnlen(s.name, sizeof s.name));
        }
    return {};
}

} // namespace
} // namespace scrip_detail

CScrip::CScrip(int mode, CVortanexView* view, QWidget* parent)
    : ui::Form(scrip_detail::scripSpec(), parent), m_mode(mode), m_view(view)
{
    m_results = new QTreeWidget(this);
    m_results->setObjectName(QStringLiteral("scripResults"));
    m_results->setColumnCount(3);
    m_results->setHeaderLabels({QStringLiteral("Security"), QStringLiteral("ME"), QStringLiteral("IT")});
    m_results->setColumnWidth(0, scrip_detail::kSecurityColumnWidth);
    m_results->setColumnWidth(1, 80);
    m_results->setColumnWidth(2, 80);
    m_results->setRootIsDecorated(false);
    m_results->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_results->setUniformRowHeights(true);
    if (QWidget* place = control(kResults))
        m_results->setGeometry(place->geometry());
    connect(m_results, &QTreeWidget::itemDoubleClicked, this, [this] { OnOK(); });

    onClick(kSearch, [this] { OnSearch(); });
    onClick(1, [this] { OnOK(); });
    onClick(kFuture, [this] { FillExpiryAndStrike(); });
    onClick(kOption, [this] { FillExpiryAndStrike(); });
    onChanged(kName, [this] { FillExpiryAndStrike(); });
    onChanged(kCategory, [this] { OnCategory(); });
    onChanged(kList, [this] { OnWatchlist(); });
}

void CScrip::onInit()
{
    SetAccessTime();
    m_results->setFont(QFont());
    const std::string face(FixedTextView(g_AppSettings.grid_font.face_name));
    if (!face.empty()) {
        QFont f = m_results->font();
        f.setFamily(QString::fromStdString(face));
        m_results->setFont(f);
    }
    if (QWidget* place = control(kResults))
        m_results->setGeometry(place->geometry());
    m_results->setSortingEnabled(true);
    m_results->sortByColumn(-1, Qt::AscendingOrder);
    setComboItems(kExpiry, {"ALL"});
    setComboIndex(kExpiry, 0);
    enable(kExpiry, false);
    setComboItems(kStrike, {"ALL"});
    setComboIndex(kStrike, 0);
    enable(kStrike, false);
    std::vector<std::string> categories{" Select Type"};
    for (const std::string& g : WatchlistTable::instance().groupNames())
        categories.push_back(g);
    setComboItems(kCategory, categories);
    setComboIndex(kCategory, 0);
    setComboItems(kList, {" Select Watchlist"});
    setComboIndex(kList, 0);
    for (int box : scrip_detail::kExchangeBoxes)
        setChecked(box, true);
    setChecked(kCash, true);
    setChecked(kFuture, true);
    setChecked(kOption, true);
    setChecked(kOthers, false);
}

void CScrip::FillExpiryAndStrike()
{
    setComboItems(kExpiry, {"ALL"});
    setComboIndex(kExpiry, 0);
    setComboItems(kStrike, {"ALL"});
    setComboIndex(kStrike, 0);
    const std::string name = text(kName);
    const auto table = SecurityTable::current();
    if ((checked(kFuture) || checked(kOption)) && !name.empty() && table) {
        std::vector<std::string> expiries, strikes;
        ScripExpiriesAndStrikes(*table, name, checked(kOption), expiries, strikes);
        expiries.insert(expiries.begin(), "ALL");
        strikes.insert(strikes.begin(), "ALL");
        setComboItems(kExpiry, expiries);
        setComboIndex(kExpiry, 0);
        setComboItems(kStrike, strikes);
        setComboIndex(kStrike, 0);
    }
    enable(kExpiry, comboItems(kExpiry).size() > 1);
    enable(kStrike, comboItems(kStrike).size() > 1);
}

void CScrip::OnSearch()
{
    SetAccessTime();
    const std::string name = text(kName);
    const std::string code = text(kCode);
    if (name.empty() && code.empty()) {
        MsgBoxOk("Please Enter initials of the scrip or Exchange Code to be searched");
        return;
    }
    if (!ScripSearchTextOk(name)) {
        MsgBoxOk("Special characters not allowed");
        return;
    }
    ScripQuery q;
    q.name = name;
    q.code = code;
    q.cash = checked(kCash);
    q.future = checked(kFuture);
    q.option = checked(kOption);
    q.others = checked(kOthers);
    if (!q.cash && !q.future && !q.option && !q.others) {
        MsgBoxOk("Please select the Scrip Type");
        return;
    }
    for (int i = 0; i < 6; ++i)
        if (checked(scrip_detail::kExchangeBoxes[i]))
            q.exchanges.emplace_back(scrip_detail::kExchangeCodes[i]);
    if (q.exchanges.empty()) {
        MsgBoxOk("Please select the Market Exchange Type");
        return;
    }
    q.expiry = comboIndex(kExpiry) >= 0 ? text(kExpiry) : "ALL";
    q.strike = comboIndex(kStrike) >= 0 ? text(kStrike) : "ALL";
    const auto table = SecurityTable::current();
    showResults(table ? FindScrips(*table, q) : std::vector<int>{});
    enable(1, true);
    WriteLog(3, "Exit CScrip::OnSearch");
}

void CScrip::showResults(const std::vector<int>& securities)
{
    m_results->setUpdatesEnabled(false);
    m_results->setSortingEnabled(false);
    m_results->clear();
    const auto table = SecurityTable::current();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(securities.size()));
    for (int index : securities) {
        if (!table || !table->valid(index))
            continue;
        const SecurityRecord& s = table->row(index);
        // The exchange's name, as its tick box above reads; a code without
        // a name shows as it is.
        const char* exchange = WatchExchangeName(s.market_exchange.view());
        auto* item = new QTreeWidgetItem({QString::fromLatin1(s.displayKey().c_str()),
                                          QString::fromLatin1(*exchange ? exchange : s.market_exchange.c_str()),
                                          QString::fromLatin1(s.inst_type.c_str())});
        item->setData(0, Qt::UserRole, index);
        items << item;
    }
    m_results->addTopLevelItems(items);
    m_results->setSortingEnabled(true);
    m_results->sortByColumn(-1, Qt::AscendingOrder);
    // The key widens its column to the longest shown: an option key cut
    // short hides its strike and whether it is a call or a put.
    ui::widenColumnToContents(*m_results, 0, scrip_detail::kSecurityColumnWidth);
    m_results->setUpdatesEnabled(true);
    if (!items.isEmpty()) {
        m_results->setCurrentItem(m_results->topLevelItem(0));
        m_results->setFocus();
    }
}

std::vector<int> CScrip::resultSecurities() const
{
    std::vector<int> out;
    for (int i = 0; i < m_results->topLevelItemCount(); ++i)
        out.push_back(m_results->topLevelItem(i)->data(0, Qt::UserRole).toInt());
    return out;
}

void CScrip::selectResults(const std::vector<int>& rows)
{
    m_results->clearSelection();
    for (int r : rows)
        if (QTreeWidgetItem* item = m_results->topLevelItem(r))
            item->setSelected(true);
}

std::vector<int> CScrip::selectedSecurities() const
{
    std::vector<int> out;
    for (int i = 0; i < m_results->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_results->topLevelItem(i);
        if (item->isSelected())
            out.push_back(item->data(0, Qt::UserRole).toInt());
    }
    return out;
}

void CScrip::OnCategory()
{
    const int category = comboIndex(kCategory);
    if (category <= 0)
        return;
    const int group = category - 1;
    std::vector<std::string> lists{" Select WatchList"};
    WatchlistTable& table = WatchlistTable::instance();
    for (int i = 0; i < table.count(); ++i) {
        const WatchlistRecord r = table.record(i);
        if (r.inUse && r.group == group)
            lists.emplace_back(r.name);
    }
    setComboItems(kList, lists);
    setComboIndex(kList, 0);
}

void CScrip::OnWatchlist()
{
    const int chosen = comboIndex(kList);
    if (chosen <= 0)
        return;
    const std::string name = text(kList);
    m_results->clear();
    enable(kCategory, false);
    enable(kList, false);
    WatchlistTable& table = WatchlistTable::instance();
    const int group = comboIndex(kCategory) - 1;
    int index = -1;
    for (int i = 0; i < table.count() && index < 0; ++i) {
        const WatchlistRecord r = table.record(i);
        if (r.inUse && name == r.name && (group < 0 || r.group == group))
            index = i;
    }
    std::vector<int> securities;
    const auto securitiesTable = SecurityTable::current();
    if (index < 0) {
        WriteLog(0, "Watch not found");
    } else if (securitiesTable) {
        const WatchlistRecord rec = table.record(index);
        const std::vector<std::string> groups = table.groupNames();
        const std::string groupName =
            rec.group >= 0 && rec.group < static_cast<int>(groups.size()) ? groups[size_t(rec.group)] : "";
        const std::string segment8 = scrip_detail::segmentName(8);
        if (rec.id <= -10000) {
            if (!segment8.empty() && (groupName == segment8 || groupName == "All " + segment8)) {
                std::vector<DerivaneWatchRow> rows;
                ServerAccess& server = WatchServerAccess();
                const WatchSession s = CurrentWatchSession();
                RunWatchExchange(this, [&] {
                    GetDerivaneWatch(server, RequestSession{s.sessionId, s.userId, s.encrypt},
                                     *securitiesTable, name, rows);
                });
                for (const DerivaneWatchRow& d : rows)
                    securities.push_back(d.securityIndex);
            } else if (groupName == "Future Stock" || groupName == "Future Index" || groupName == "Future Currency") {
                const char* code = groupName == "Future Stock" ? "FS" : groupName == "Future Index" ? "FI" : "FC";
                for (int i = 0; i < securitiesTable->count(); ++i) {
                    const SecurityRecord& s = securitiesTable->row(i);
                    if (s.inst_type == code && s.expiry.view() == name)
                        securities.push_back(i);
                }
            } else if (name == "My Investments" || name == "My Positions") {
                // Built into their own list, never into the calling view's.
                ServerAccess& server = WatchServerAccess();
                RunWatchExchange(this, [&] {
                    if (name == "My Investments")
                        BuildHoldingsList(index, server);
                    else
                        BuildPositionsList(index, server);
                });
                for (const WatchRowEntry& e : table.record(index).rows)
                    securities.push_back(e.securityIndex);
            }
        } else {
            WriteLog(0, name);
            if (rec.rows.empty()) {
                ServerAccess& server = WatchServerAccess();
                RunWatchExchange(this, [&] { Get_Watchlist_Details(server, index, 0, ""); });
            }
            for (const WatchRowEntry& e : table.record(index).rows)
                if (WatchRowCounts(e))
                    securities.push_back(e.securityIndex);
        }
    }
    showResults(securities);
    enable(kCategory, true);
    enable(kList, true);
    enable(1, !securities.empty());
}

void CScrip::OnOK()
{
    SetAccessTime();
    try {
        const std::vector<int> chosen = selectedSecurities();
        if (m_mode == 5) {
            if (!chosen.empty())
                m_chosen = chosen.front();
        } else if (m_mode == 1 && m_view && !chosen.empty()) {
            const int n = static_cast<int>(chosen.size());
            for (int i = 0; i < n; ++i)
                m_view->OnAddscrip(n, i + 1, chosen[size_t(i)], -10);
            WatchFeedLink::updateFeedsToken();
            if (g_Config.Feeds_Type == 0 && CVortanexView::services().getLiveFeeds) {
                const auto table = SecurityTable::current();
                std::string tokens;
                int count = 0;
                for (int index : chosen)
                    if (table && table->valid(index)) {
                        tokens += std::to_string(table->row(index).wtoken) + ",";
                        ++count;
                    }
                if (count > 0)
                    CVortanexView::services().getLiveFeeds(formatText("Token=%d,%s", count, tokens.c_str()));
            }
        }
    } catch (...) {
        WriteLog(0, "Exception in CScrip::OnOK");
    }
    finish(1);
}
