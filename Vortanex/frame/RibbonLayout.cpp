#include "frame/RibbonLayout.h"

#include "frame/FrameIds.h"
#include "frame/FrameThemes.h"

#include "ui/command_bar.h"

#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

using K = RibbonItemKind;

const std::vector<RibbonItem>& RibbonMainMenu()
{
    static const std::vector<RibbonItem> items = {
        {ID_FILE_NEW, "New"},         {ID_FILE_OPEN, "Open..."},          {ID_FILE_PRINT, "Print"},
        {ID_FILE_PRINT_DIRECT, "Quick Print"}, {ID_FILE_PRINT_PREVIEW, "Print Preview"},
        {ID_FILE_CLOSE, "Close"},     {0, ""},                            {ID_RIBBON_OPTIONS, "Options"},
        {ID_PROFILE, "Profile"},      {ID_WHATS_NEW, "What's New"},       {ID_APP_ABOUT, "About"},
        {ID_HELP_FILE, "Help"},       {0, ""},                            {ID_APP_EXIT, "Exit"},
    };
    return items;
}

const std::vector<RibbonCategoryDef>& RibbonCategories()
{
    static const std::vector<RibbonCategoryDef> categories = {
        {"Main",
         {
             {"WatchList",
              {{ID_FILE_NEW, "New Watchlist"}, {ID_FILE_OPEN, "Open Watchlist"},
               {ID_FILE_CLOSE, "Close Active Window"}}},
             {"Feeds/BroadCast", {{ID_CONNECT, "Connect", K::Radio}, {ID_DISCONNECT, "Disconnect", K::Radio}}},
             {"Window",
              {{ID_VIEW_WATCHLIST, "WatchList", K::Check},
               {ID_VIEW_MARKET_STATUS, "Market Status", K::Check},
               {ID_VIEW_OUTPUT, "Messages", K::Check},
               {ID_VIEW_INDICES, "Indices", K::Check},
               {ID_VIEW_CHARTS, "Charts", K::Check},
               {ID_EDIT_UNDO, "Undo", K::Small}}},
         }},
        {"Trading",
         {
             {"Equity", {{32868, "New Buy Order"}, {32869, "New Sell Order"}, {32870, "New Basket Order"}}},
             {"Derivative", {{32871, "New Buy Order"}, {32872, "New Sell Order"}, {32873, "New Basket Order"}}},
             {"Currency", {{32874, "New Buy Order"}, {32875, "New Sell Order"}, {32876, "New Basket Order"}}},
             {"Commodity", {{33380, "New Buy Order"}, {33381, "New Sell Order"}, {33382, "New Basket Order"}}},
         }},
        {"Reports",
         {
             {"Trading", {{32877, "Orders"}, {32878, "Trades"}, {33314, "TSLO Orders"}}},
             {"Net Position",
              {{33214, "Limits"}, {33215, "Todays Position"}, {33216, "Open Position"},
               {33217, "Unbilled Positions"}, {33218, "Sell from Existing"}}},
             {"Others", {{32886, "Indices Watchlist"}, {32887, "Option Calculator"}}},
         }},
        {"Market Info..",
         {
             {"Market Research",
              {{1127, "FII Activity", K::Small}, {1130, "MF Activity", K::Small}, {1124, "Bulk Deal", K::Small},
               {1256, "Market Turnover", K::Small}, {1274, "Market Scanner", K::Small},
               {1290, "Market Cluster", K::Small}, {1268, "Indices Turnover", K::Small},
               {1277, "Index Tracker", K::Small}, {1403, "Announcement", K::Small},
               {1404, "Circuit Breaker", K::Small}, {1405, "Support & Resistance", K::Small}}},
             {"Scrip Info",
              {{32881, "Market Lot Info"}, {32884, "Top Gainers / Losers"}, {32885, "Active Scrips"},
               {1335, "Scrip Alert"}, {1163, "Scrip Search"}, {1117, "Scrip Movement"}}},
         }},
        {"Preferences",
         {
             {"Utility",
              {{32860, "Change Password"}, {ID_FILE_LOCKTERMINAL, "Lock Terminal"},
               {32862, "Download Security File"}}},
             {"Settings",
              {{32865, "Vortanex Settings"}, {32864, "Font Setting"}, {32863, "Proxy Setting"},
               {33376, "Update RBI Ref. Rate"}}},
         }},
    };
    return categories;
}

namespace {

// Until the artwork is drawn, a button's icon is its initials on the
// category's colour.
QIcon glyphIcon(const QString& text, const QColor& colour, int size)
{
    QString initials;
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts))
        if (initials.size() < 2 && word[0].isLetterOrNumber())
            initials += word[0].toUpper();
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), size / 6.0, size / 6.0);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(size * (initials.size() > 1 ? 2 : 3) / 5);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, initials);
    return QIcon(pm);
}

const QColor kCategoryColours[] = {QColor(0, 110, 190), QColor(30, 140, 70), QColor(170, 90, 20),
                                   QColor(120, 60, 160), QColor(90, 100, 115)};

} // namespace

void BuildRibbon(ui::CommandBar& bar)
{
    std::vector<ui::SubItem> menu;
    for (const RibbonItem& item : RibbonMainMenu()) {
        menu.push_back({item.id, QString::fromUtf8(item.text)});
        // The themes follow the profile entry.
        if (item.id == ID_PROFILE) {
            menu.push_back({0, {}});
            for (const ThemeEntry& t : RibbonThemes())
                menu.push_back({t.id, QString::fromUtf8(t.text)});
            menu.push_back({0, {}});
        }
    }
    bar.setMainMenu("File", menu);
    size_t colourIndex = 0;
    for (const RibbonCategoryDef& c : RibbonCategories()) {
        const QColor colour = kCategoryColours[colourIndex++ % std::size(kCategoryColours)];
        const int category = bar.addCategory(QString::fromUtf8(c.name));
        for (const RibbonPanelDef& p : c.panels) {
            const int panel = bar.addPanel(category, QString::fromUtf8(p.name));
            for (const RibbonItem& item : p.items) {
                ui::ButtonKind kind = ui::ButtonKind::Large;
                switch (item.kind) {
                case K::Large:
                    kind = ui::ButtonKind::Large;
                    break;
                case K::Small:
                    kind = ui::ButtonKind::Small;
                    break;
                case K::Check:
                    kind = ui::ButtonKind::Check;
                    break;
                case K::Radio:
                    kind = ui::ButtonKind::Radio;
                    break;
                }
                const QString text = QString::fromUtf8(item.text);
                bar.addButton(panel, item.id, text, kind,
                              glyphIcon(text, colour, kind == ui::ButtonKind::Large ? 32 : 16));
            }
        }
    }
}
