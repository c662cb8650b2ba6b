#include "frame/FrameSubscriptions.h"

#include "app/LogWriter.h"

#include "pf/clock.h"
#include "pf/threads.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"

#include <atomic>
#include <mutex>

namespace {

std::mutex g_alertMutex;
std::shared_ptr<AlertServices> g_alerts; // guarded by g_alertMutex

size_t countItems(const std::string& list)
{
    size_t n = 0;
    for (char c : list)
        n += c == ',';
    return n;
}

} // namespace

int UpdateTokensThreadX(int which, SubscriptionSender& sender)
{
    if (which != 1 && which != 2) {
        WriteLog(0, "Invalid Command received to UpdateTokensThread");
        return -1;
    }
    WriteLog(1, "Entry UpdateTokensThreadX :" + std::to_string(which));
    int result = -1;
    FeedState& fs = FeedState::instance();
    if (fs.running()) {
        // The next heartbeat comes a full interval after this subscription.
        fs.setLastHeartbeatTime(pf::clock().nowSeconds());
        FeedSubscriptions& subs = FeedSubscriptions::instance();
        const std::string text = subs.subscriptionText(which);
        if (which == 1)
            WriteLog(3, "Token Count :" + std::to_string(countItems(subs.feedTokenList())) +
                            ", Index Count :" + std::to_string(countItems(subs.indexTokenList())) +
                            ", Len :" + std::to_string(text.size()));
        const bool sent = sender.sendSubscription(which, text);
        WriteLog(3, "UpdateTokensThread Ret :" + std::to_string(sent ? 1 : 0));
        result = sent ? 0 : -1;
    }
    WriteLog(1, "Exit :UpdateTokensThreadX");
    return result;
}

void InstallSubscriptionRequests(SubscriptionSender* sender, bool inlineForTests)
{
    if (!sender) {
        FeedSubscriptions::instance().setSubscriptionRequest({});
        return;
    }
    FeedSubscriptions::instance().setSubscriptionRequest([sender, inlineForTests](int which) {
        if (inlineForTests) {
            UpdateTokensThreadX(which, *sender);
            return;
        }
        pf::Worker::start("UpdateTokensThread", [sender, which] { UpdateTokensThreadX(which, *sender); });
    });
}

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
