#include "frame/OrderFormLinks.h"

#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"

#include <atomic>

namespace order_form_links_detail {
namespace {
OrderFormLinks g_defaultLinks;
std::atomic<OrderFormLinks*> g_links{&g_defaultLinks};
} // namespace
} // namespace order_form_links_detail

void OrderFormLinks::openOrderBook(int securityIndex)
{
    WriteLog(0, "Order book not available, security " + std::to_string(securityIndex));
}
void OrderFormLinks::openTradeBook(int securityIndex)
{
    WriteLog(0, "Trade book not available, security " + std::to_string(securityIndex));
}
void OrderFormLinks::openTsloBook() { WriteLog(0, "TSLO order book not available"); }
void OrderFormLinks::calculateMargin() { WriteLog(0, "Margin query not available"); }
void OrderFormLinks::searchScrip() { WriteLog(0, "Scrip search not available"); }
void OrderFormLinks::openInBrowser(const std::string&)
{
    MsgBoxOk("Estimated Charges is not available in this version.");
}

void SetOrderFormLinks(OrderFormLinks* links) { order_form_links_detail::g_links.store(links ? links : &order_form_links_detail::g_defaultLinks); }
OrderFormLinks& CurrentOrderFormLinks() { return *order_form_links_detail::g_links.load(); }
