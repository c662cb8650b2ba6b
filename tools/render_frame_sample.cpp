// Renders the main frame with sample content to a PNG, for a person to look
// at: the ribbon, the status bar, the left panes and the Messages bar.
//   QT_QPA_PLATFORM=offscreen render_frame_sample out.png [theme-id] [category]
#include "app/base/AppSettings.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "frame/COutputBar.h"
#include "frame/FrameIds.h"
#include "frame/MessageFiles.h"
#include "frame/RibbonLayout.h"

#include "ui/command_bar.h"
#include "ui/document_area.h"
#include "ui/status_panes.h"
#include "ui/ui_layer.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QPixmap>
#include <QTableWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

QTableWidget* sampleTable(const QStringList& header, const std::vector<QStringList>& rows)
{
    auto* t = new QTableWidget(int(rows.size()), int(header.size()));
    t->setHorizontalHeaderLabels(header);
    t->verticalHeader()->setVisible(false);
    for (size_t r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            t->setItem(int(r), c, new QTableWidgetItem(rows[r][c]));
    t->resizeColumnsToContents();
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s out.png [theme-id] [category]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    ui::UiLayer layer;
    SetDefaultSettings();
    std::strcpy(pv_user_info.user_name, "Asha Rao");
    std::strcpy(pv_user_info.client_code, "C1001");
    std::strcpy(pv_user_info.user_id, "U77");
    if (argc > 2)
        g_AppSettings.theme = std::atoi(argv[2]);

    CMainFrame::Services services;
    services.saveSettings = [] {};
    services.feedRunning = [] { return true; };
    CMainFrame frame(services);
    if (!frame.OnCreate())
        return 1;
    // Every ribbon command gets a handler, so the sample shows them enabled.
    for (const RibbonCategoryDef& c : RibbonCategories())
        for (const RibbonPanelDef& p : c.panels)
            for (const RibbonItem& i : p.items)
                if (!frame.Commands().has(i.id))
                    frame.Commands().add(i.id, [] {});
    if (argc > 3) {
        const int category = frame.Ribbon()->findCategory(QString::fromLocal8Bit(argv[3]));
        frame.Ribbon()->setCurrentCategory(category);
    }

    auto* lists = new QListWidget;
    lists->addItems({"My Watchlist", "NIFTY 50", "Bank Stocks", "F&O Favourites", "Currency"});
    frame.SetPaneWidget(ID_VIEW_WATCHLIST, lists);
    frame.SetPaneWidget(ID_VIEW_MARKET_STATUS,
                        sampleTable({"Segment", "Status"},
                                    {{"NSE-EQ", "Open"}, {"NSE-FO", "Open"}, {"BSE-EQ", "Open"}, {"MCX", "Closed"}}));
    frame.Documents()->addDocument(sampleTable({"Symbol", "Exch", "Bid Qty", "Bid Prc", "Ask Prc", "Ask Qty", "LTP"},
                                               {{"INFY", "NSE", "120", "1512.35", "1512.60", "75", "1512.50"},
                                                {"TCS", "NSE", "40", "3840.10", "3840.90", "22", "3840.55"},
                                                {"RELIANCE", "BSE", "310", "2915.00", "2915.20", "180", "2915.10"},
                                                {"HDFCBANK", "NSE", "95", "1650.40", "1650.70", "60", "1650.65"}}),
                                   "My Watchlist");

    frame.UpdateUserPanes("4471190");
    frame.UpdateConnectStatus(true);
    frame.ShowQuoteTime(1'765'280'000);
    frame.SetUserMessage(MsgGeneral, ' ', "Welcome to Vortanex. Your last login was 08-12-2026 18:02:11.");
    frame.SetUserMessage(MsgTrading, 'B', "Buy order for 10 INFY @ 1512.50 placed. Order No. 2612090001234");
    frame.SetUserMessage(MsgTrading, 'S', "Sell order for 5 TCS @ 3840.90 placed. Order No. 2612090001240");
    frame.SetUserMessage(MsgExchange, ' ', "NSE: Market is open for normal trading.");
    frame.SetUserMessage(MsgTrading, '+', "Trade confirmed: Buy 10 INFY @ 1512.50");

    frame.resize(1400, 860);
    frame.show();
    ui::UiThread::pumpUntil([&] { return frame.OutputBar()->RowCount(MsgTrading) == 3; }, 3000);
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents();
    const QPixmap shot = frame.grab();
    if (!shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %dx%d\n", argv[1], shot.width(), shot.height());
    return 0;
}
