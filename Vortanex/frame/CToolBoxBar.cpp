#include "frame/CToolBoxBar.h"

#include "app/base/FixedText.h"
#include "frame/ImageCollections.h"
#include "app/base/LogWriter.h"
#include "app/base/SessionRecord.h"
#include "server/MarketLookups.h"
#include "watch/base/WatchlistTable.h"

#include <QListWidget>
#include <QToolBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace tool_box_bar_detail {
namespace {

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string segmentName(int id)
{
    for (int i = 0; i < pv_user_info.segment_count && i < static_cast<int>(pv_user_info.segments.size()); ++i)
        if (pv_user_info.segments[static_cast<size_t>(i)].id == id)
            return std::string(FixedTextView(pv_user_info.segments[static_cast<size_t>(i)].name));
    return {};
}

QListWidget* newPage(QWidget* parent)
{
    auto* list = new QListWidget(parent);
    list->setIconSize(QSize(16, 16));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

QIcon iconFrom(int collection, int index)
{
    if (const ImageCollection* c = GetImageCollection(collection))
        return c->icon(index);
    return {};
}

} // namespace
} // namespace tool_box_bar_detail

WatchlistIconRef GetWatchlistIcon(std::string_view name, std::string_view segment8)
{
    using tool_box_bar_detail::sameName;
    if (sameName(name, "My Watchlist") || sameName(name, "1 - month portfolio"))
        return {274, 17};
    if (sameName(name, "My Holdings") || sameName(name, "My Investments"))
        return {267, 17};
    if (sameName(name, "My Positions"))
        return {269, 29};
    if (sameName(name, "Future Stock") || sameName(name, "Future Index"))
        return {268, 1};
    if (sameName(name, "Future Currency"))
        return {267, 7};
    if (sameName(name, "Business Group"))
        return {270, 8};
    if (sameName(name, "ETF") || sameName(name, "IDR-BONDS") || sameName(name, "Indices"))
        return {274, 11};
    if (sameName(name, "Industry"))
        return {270, 4};
    if (!segment8.empty() && sameName(name, segment8))
        return {274, 11};
    return {274, 17};
}

std::string MarketSegmentName(std::string_view code)
{
    static const std::pair<const char*, const char*> names[] = {
        {"NN", "NSE"},     {"NF", "NSE_FNO"},  {"BN", "BSE"},      {"BF", "BSE_FNO"}, {"CN", "NSE-FX"},
        {"CB", "BSE-CDX"}, {"CM", "MCX-SX"},   {"NC", "NCDEX-CM"}, {"MC", "MCX-CM"},
    };
    for (const auto& [c, n] : names)
        if (code == c)
            return n;
    return std::string(code);
}

// --- watch lists ---

CToolBoxBarEx::CToolBoxBarEx(QWidget* parent) : QWidget(parent)
{
    setObjectName("CToolBoxBarEx");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_box = new QToolBox(this);
    layout->addWidget(m_box);
}

QListWidget* CToolBoxBarEx::page(int index) const
{
    return qobject_cast<QListWidget*>(m_box->widget(index));
}

QIcon CToolBoxBarEx::iconOf(const WatchlistIconRef& ref) const
{
    return tool_box_bar_detail::iconFrom(ref.collection, ref.index);
}

int CToolBoxBarEx::pageCount() const
{
    return m_box->count();
}

int CToolBoxBarEx::buttonCount(int p) const
{
    const QListWidget* l = page(p);
    return l ? l->count() : 0;
}

QString CToolBoxBarEx::buttonText(int p, int button) const
{
    const QListWidget* l = page(p);
    return l && l->item(button) ? l->item(button)->text() : QString();
}

int CToolBoxBarEx::selectedButton(int p) const
{
    const QListWidget* l = page(p);
    if (!l)
        return -1;
    const auto sel = l->selectedItems();
    return sel.isEmpty() ? -1 : l->row(sel.front());
}

void CToolBoxBarEx::UpdateElements()
{
    try {
        WatchlistTable& table = WatchlistTable::instance();
        const std::vector<std::string> groups = table.groupNames();
        WriteLog(0, "UpdateElements : UCC <" + std::to_string(static_cast<int>(groups.size()) - 1) + ">");
        while (m_box->count() > 0) {
            QWidget* w = m_box->widget(0);
            m_box->removeItem(0);
            delete w;
        }
        m_pageIcons.clear();
        const std::string segment5 = tool_box_bar_detail::segmentName(5);
        const std::string segment8 = tool_box_bar_detail::segmentName(8);
        for (size_t i = 0; i < groups.size(); ++i) {
            WriteLog(3, "UpdateElements : ctr [" + std::to_string(i) + "], Type [" + groups[i] + "]");
            auto* list = tool_box_bar_detail::newPage(m_box);
            const QIcon icon = iconOf(GetWatchlistIcon(groups[i], segment8));
            m_pageIcons[static_cast<int>(i)] = icon;
            m_box->addItem(list, icon, QString::fromStdString(groups[i]));
            if (groups[i] == "My Watchlist")
                m_myWatchlistPage = static_cast<int>(i);
            connect(list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
                if (onOpenList)
                    onOpenList(item->data(Qt::UserRole).toInt());
            });
        }
        for (int i = 0; i < table.count(); ++i) {
            const WatchlistRecord r = table.record(i);
            if (!r.inUse)
                continue;
            QListWidget* list = page(r.group);
            if (!list)
                continue;
            const std::string name(FixedTextView(r.name));
            const QIcon icon = tool_box_bar_detail::sameName(name, "My Investments") || tool_box_bar_detail::sameName(name, "My Positions")
                ? iconOf(GetWatchlistIcon(name))
                : m_pageIcons[r.group];
            auto* item = new QListWidgetItem(icon, QString::fromStdString(name), list);
            item->setData(Qt::UserRole, i);
            const int button = list->row(item);
            const bool segmentGroup = !segment5.empty() && static_cast<size_t>(r.group) < groups.size()
                && groups[static_cast<size_t>(r.group)] == segment5;
            table.update(i, [&](WatchlistRecord& w) {
                w.panePage = r.group;
                w.paneButton = button;
                if (segmentGroup)
                    w.type = 9;
            });
        }
        // Every group starts collapsed: the first page shows, the others fold.
        if (m_box->count() > 0)
            m_box->setCurrentIndex(m_myWatchlistPage);
    } catch (...) {
        WriteLog(0, "Exception in UpdateElements(TBB-WL)");
    }
}

void CToolBoxBarEx::UpdateWatchlist(int operation, int listIndex)
{
    try {
        WatchlistTable& table = WatchlistTable::instance();
        const WatchlistRecord r = table.record(listIndex);
        QListWidget* list = page(operation == 2 ? m_myWatchlistPage : r.panePage);
        if (!list)
            return;
        switch (operation) {
        case 0:
            if (r.paneButton >= 0 && list->item(r.paneButton))
                list->setCurrentRow(r.paneButton);
            break;
        case 1:
            if (r.paneButton >= 0 && selectedButton(r.panePage) == r.paneButton)
                list->clearSelection();
            break;
        case 2: {
            auto* item = new QListWidgetItem(m_pageIcons[m_myWatchlistPage], QString::fromUtf8(r.name), list);
            item->setData(Qt::UserRole, listIndex);
            const int button = list->row(item);
            table.update(listIndex, [&](WatchlistRecord& w) {
                w.panePage = m_myWatchlistPage;
                w.paneButton = button;
            });
            list->setCurrentRow(button);
            break;
        }
        case 3:
            if (QListWidgetItem* item = list->item(r.paneButton))
                item->setText(QString::fromUtf8(r.name));
            break;
        case 4: {
            delete list->takeItem(r.paneButton);
            // Only the buttons of the same page move up: the others keep theirs.
            for (int i = listIndex + 1; i < table.count(); ++i)
                table.update(i, [&](WatchlistRecord& w) {
                    if (w.panePage == r.panePage && w.paneButton > r.paneButton)
                        --w.paneButton;
                });
            table.update(listIndex, [](WatchlistRecord& w) { w.paneButton = -1; });
            list->clearSelection();
            list->setCurrentRow(-1);
            break;
        }
        default: break;
        }
    } catch (...) {
        WriteLog(0, "Exception in UpdateWatchlist(TBB-WL)");
    }
}

// --- market status ---

CToolBoxBarMS::CToolBoxBarMS(QWidget* parent) : QWidget(parent)
{
    setObjectName("CToolBoxBarMS");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_list = tool_box_bar_detail::newPage(this);
    layout->addWidget(m_list);
}

void CToolBoxBarMS::AddElements()
{
    try {
        WriteLog(3, "In CToolBoxBarMS::AddElements");
        m_list->clear();
        m_buttons.clear();
        const QIcon icon = tool_box_bar_detail::iconFrom(270, 34);
        for (const MarketStatusRecord& r : MarketStatusTable::instance().entries()) {
            const std::string code(FixedTextView(r.exch));
            const std::string status(FixedTextView(r.status));
            auto* item = new QListWidgetItem(
                icon, QString::fromStdString(MarketSegmentName(code) + " - " + status), m_list);
            m_buttons[code] = {m_list->row(item), status};
        }
    } catch (...) {
        WriteLog(0, "Exception in AddElements(TBB-MS)");
    }
}

bool CToolBoxBarMS::UpdateMarketStatus(std::string_view code, std::string_view status)
{
    int step = 0;
    try {
        const auto it = m_buttons.find(std::string(code));
        if (it == m_buttons.end() || it->second.second == status)
            return false;
        step = 1;
        const std::string label = MarketSegmentName(code) + " - " + std::string(status);
        step = 2;
        if (QListWidgetItem* item = m_list->item(it->second.first))
            item->setText(QString::fromStdString(label));
        it->second.second = std::string(status);
        step = 3;
        return true;
    } catch (...) {
        WriteLog(0, "Exception in UpdateMarketStatus(TBB-MS) :" + std::to_string(step));
        return false;
    }
}

int CToolBoxBarMS::buttonCount() const
{
    return m_list->count();
}

QString CToolBoxBarMS::buttonText(int button) const
{
    return m_list->item(button) ? m_list->item(button)->text() : QString();
}
