#include "app/WorkspaceWiring.h"

#include "app/base/FixedText.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "frame/Workspace.h"
#include "orders/COrderViewEx.h"
#include "server/CompanionLists.h"
#include "orders/CTradeView.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "watch/base/WatchlistTable.h"

#include <QPointer>

namespace {

constexpr int kTradeBookCommand = 32878; // "Trades"
bool g_restored = false;

template <typename View> View* viewIn(QWidget* widget)
{
    if (auto* v = dynamic_cast<View*>(widget))
        return v;
    return widget ? widget->findChild<View*>() : nullptr;
}

// A list by its name; a category list (the same expiry is a list of each
// future group) by its group and name, "Future Index|29DEC26".
std::string listKey(const WatchlistRecord& record)
{
    const std::string name(FixedTextView(record.name));
    const std::string group = record.id <= -10000 ? CategoryGroup(record.id) : std::string();
    return group.empty() ? name : group + "|" + name;
}

CVortanexView* openWatchView(const std::string& key)
{
    for (CVortanexView* v : CVortanexView::openViews())
        if (key == listKey(v->list()))
            return v;
    return nullptr;
}

} // namespace

Workspace& AppWorkspace()
{
    static Workspace workspace;
    return workspace;
}

void InstallWorkspace(CMainFrame& frame)
{
    // Each run's frame: the kinds open through this frame's commands.
    Workspace& ws = AppWorkspace();
    ws = Workspace();
    g_restored = false;
    QPointer<CMainFrame> f(&frame);

    Workspace::Kind watch;
    watch.name = "Watchlist";
    watch.describe = [](QWidget* view) -> std::optional<std::string> {
        if (CVortanexView* v = viewIn<CVortanexView>(view))
            return listKey(v->list());
        return std::nullopt;
    };
    watch.open = [](const std::string& list) -> QWidget* {
        // A list deleted since the last session is not in the table any more.
        WatchlistTable& table = WatchlistTable::instance();
        for (int i = 0; i < table.count(); ++i) {
            const WatchlistRecord record = table.record(i);
            if (list == listKey(record)) {
                WatchCommands::OnSelWatchList(record.panePage, i);
                return openWatchView(list);
            }
        }
        return nullptr;
    };
    ws.addKind(std::move(watch));

    Workspace::Kind orders;
    orders.name = "Orders";
    orders.describe = [](QWidget* view) -> std::optional<std::string> {
        if (viewIn<COrderViewEx>(view))
            return std::string();
        return std::nullopt;
    };
    orders.open = [f](const std::string&) -> QWidget* {
        if (f)
            f->Commands().invoke(ID_REPORTS_ORDERS);
        return g_pOrderViewEx;
    };
    ws.addKind(std::move(orders));

    Workspace::Kind trades;
    trades.name = "Trades";
    trades.describe = [](QWidget* view) -> std::optional<std::string> {
        if (viewIn<CTradeView>(view))
            return std::string();
        return std::nullopt;
    };
    trades.open = [f](const std::string&) -> QWidget* {
        if (f)
            f->Commands().invoke(kTradeBookCommand);
        return g_pTradeView;
    };
    ws.addKind(std::move(trades));
}

void RestoreAppWorkspace(CMainFrame& frame, pf::ProfileStore& profile)
{
    AppWorkspace().restore(frame, profile);
    g_restored = true;
}

void SaveAppWorkspace(CMainFrame& frame, pf::ProfileStore& profile)
{
    if (g_restored)
        AppWorkspace().save(frame, profile);
}
