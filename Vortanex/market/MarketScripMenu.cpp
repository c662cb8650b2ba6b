// The market dialog's security menu (the scanner's rows and the cluster's
// points): buy and sell when trading is allowed, scrip details, depth, the
// charts, the outside news page and the company profile.
#include "market/CMarketTurnOver.h"

#include "app/base/ActivityStamp.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "frame/OrderFormOpener.h"
#include "market/MarketHooks.h"
#include "frame/WatchOrderCommands.h"
#include "server/SecurityTable.h"
#include "frame/WatchOpeners.h"

#include "ui/prompter.h"

#include <QCursor>
#include <QDesktopServices>
#include <QUrl>

namespace market_scrip_menu_detail {
namespace {

ui::MenuItem menuItem(int id, const std::string& text)
{
    ui::MenuItem m;
    m.id = id;
    m.text = text;
    return m;
}

void tellNotAvailable(const std::string& name) { MsgBoxInfo(name + " is not available in this version."); }


void openPage(const std::string& address)
{
    if (address.empty() || !mt::IsWebAddress(address)) {
        WriteLog(0, "Refused to open a page that is not a web address");
        return;
    }
    if (marketHooks().openPage) {
        marketHooks().openPage(address);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl(QString::fromStdString(address))))
        WriteLog(0, "The desktop browser could not open " + address);
}

} // namespace
} // namespace market_scrip_menu_detail

int CMarketTurnOver::ShowScripMenu(int security)
{
    std::shared_ptr<SecurityTable> table = SecurityTable::current();
    if (!table || !table->valid(security))
        return 0;
    SetAccessTime();
    m_security = security;
    const std::string key(table->row(security).displayKey().view());
    ui::MenuSpec menu;
    if (TradingAllowed()) {
        menu.items.push_back(market_scrip_menu_detail::menuItem(kBuy, "Buy " + key));
        menu.items.push_back(market_scrip_menu_detail::menuItem(kSell, "Sell " + key));
    }
    menu.items.push_back(market_scrip_menu_detail::menuItem(kScripDetails, "Scrip details"));
    menu.items.push_back(market_scrip_menu_detail::menuItem(kMarketDepth, "Market Depth"));
    menu.items.push_back(market_scrip_menu_detail::menuItem(kEodChart, key + " &Eod Chart"));
    menu.items.push_back(market_scrip_menu_detail::menuItem(kIntradayChart, key + " &Intraday Chart"));
    menu.items.push_back(market_scrip_menu_detail::menuItem(kNews, "Google news"));
    menu.items.push_back(market_scrip_menu_detail::menuItem(kCompanyProfile, "Company profile"));
    const QPoint at = QCursor::pos();
    const int command = ui::prompter().pickMenuCommand(menu, at.x(), at.y());
    if (command > 0)
        RunScripCommand(command);
    return command;
}

void CMarketTurnOver::RunScripCommand(int command)
{
    std::shared_ptr<SecurityTable> table = SecurityTable::current();
    if (m_security < 0 || !table || !table->valid(m_security))
        return;
    const int security = m_security;
    const SecurityRecord& sec = table->row(security);
    try {
        switch (command) {
        case kBuy:
        case kSell: {
            if (!TradingAllowed())
                return;
            ClientInfo* client = ActiveClientEntry();
            if (!client || !client->active) {
                MsgBoxInfoCaption("Please Activate a Client", "Input Error");
                return;
            }
            const QuoteData q = sec.quote();
            OrderFormParams p;
            p.index = security;
            p.side = command == kBuy ? 'B' : 'S';
            p.price = (command == kBuy ? q.quote[2] : q.quote[0]) / 100;
            OpenOrderForm(p, this, 1);
            return;
        }
        case kScripDetails:
            if (watchOpeners().details)
                watchOpeners().details(security);
            else
                market_scrip_menu_detail::tellNotAvailable("Scrip Details");
            return;
        case kMarketDepth:
            if (watchOpeners().depth)
                watchOpeners().depth(this, security);
            else
                market_scrip_menu_detail::tellNotAvailable("Market Depth");
            return;
        case kEodChart:
        case kIntradayChart:
            if (watchOpeners().chart)
                watchOpeners().chart(security, command == kEodChart ? 1 : 2);
            else
                market_scrip_menu_detail::tellNotAvailable("Charts");
            return;
        case kNews: {
            // A BSE security goes by its scrip code, any other by its symbol.
            const bool bse = sec.market_exchange.view() == "BN";
            const std::string subject = bse ? std::to_string(sec.scrip_code) : std::string(sec.symbol.view());
            market_scrip_menu_detail::openPage(mt::NewsUrl(ConfiguredNewsUrl(), subject));
            WriteLog(0, "GoogleNews:" + std::string(sec.symbol.view()));
            return;
        }
        case kCompanyProfile: {
            // The BSE scrip code names the company; the symbol when there is none.
            std::string subject;
            if (sec.market_exchange.view() == "BN") {
                subject = std::to_string(sec.scrip_code);
            } else {
                const int bse = Search_Token(sec.token, "BN");
                subject = table->valid(bse) && table->row(bse).scrip_code > 0
                    ? std::to_string(table->row(bse).scrip_code)
                    : std::string(sec.symbol.view());
            }
            market_scrip_menu_detail::openPage(mt::CompanyProfileUrl(FixedTextView(g_Config.Redirect_Url), subject));
            WriteLog(0, "CompanyProfile:" + std::string(sec.symbol.view()));
            return;
        }
        default:
            return;
        }
    } catch (...) {
        WriteLog(0, "Exception in the market dialog's security command");
    }
}
