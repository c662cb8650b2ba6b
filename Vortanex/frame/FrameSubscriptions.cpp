#include "frame/FrameSubscriptions.h"

#include "server/FeedSubscriptions.h"

#include <mutex>

namespace {

std::mutex g_alertMutex;
std::shared_ptr<AlertServices> g_alerts; // guarded by g_alertMutex

} // namespace

void SetAlertServices(std::shared_ptr<AlertServices> services)
{
    std::lock_guard lock(g_alertMutex);
    g_alerts = std::move(services);
}

std::shared_ptr<AlertServices> CurrentAlertServices()
{
    std::lock_guard lock(g_alertMutex);
    return g_alerts;
}

std::vector<int> AlertTokenSecurities()
{
    std::vector<int> out;
    if (auto alerts = CurrentAlertServices())
        for (int s : alerts->alertSecurities())
            if (s != -1) // an alert whose security is gone subscribes nothing
                out.push_back(s);
    return out;
}

int AddAlertTokens()
{
    int added = 0;
    for (int s : AlertTokenSecurities())
        if (UpdateWatchToken(1, s, -1, 0) >= 0)
            ++added;
    return added;
}

FeedWindowSlot::FeedWindowSlot(std::shared_ptr<FeedWindow> window, int type, int index) : m_type(type)
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    m_slot = subs.getClientDlg();
    if (m_slot < 0)
        return;
    subs.setWindow(m_slot, std::move(window), type, index);
    if (type == kWindowMarketDepth)
        subs.Update_MDepth_Token(1);
    else
        subs.Update_Feeds_Token();
}

FeedWindowSlot::~FeedWindowSlot()
{
    release();
}

void FeedWindowSlot::release()
{
    if (m_slot < 0)
        return;
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    subs.RemoveWatchInfoDlgRef(m_slot);
    subs.releaseSlot(m_slot);
    m_slot = -1;
    if (m_type == kWindowMarketDepth)
        subs.Update_MDepth_Token(1);
    else
        subs.Update_Feeds_Token();
}
