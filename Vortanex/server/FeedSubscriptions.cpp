#include "server/FeedSubscriptions.h"

#include "app/base/ConfigFile.h"
#include "app/base/LogWriter.h"
#include "app/base/SessionRecord.h"
#include "server/FeedState.h"
#include "server/SecurityTable.h"

#include <cstdio>

namespace feed_subscriptions_detail {

// FeedSegmentCode of a subscribed security; unknown exchanges keep `current`.
short feedSegmentCode(const SecurityRecord& rec, short current)
{
    if (rec.market_exchange == "NN" && rec.derivative == 0)
        return 1;
    if (rec.market_exchange == "NN" && rec.derivative == 1)
        return 2;
    if (rec.market_exchange == "BN" && rec.derivative == 0)
        return 3;
    if (rec.market_exchange == "BN" && rec.derivative == 1)
        return 4;
    if (rec.market_exchange == "CN")
        return 12;
    if (rec.market_exchange == "CM")
        return 11;
    return current;
}

short depthSegmentCode(const SecurityRecord& rec, short current)
{
    if (rec.market_exchange == "NN" && rec.derivative == 0)
        return 1;
    if (rec.market_exchange == "NN" && rec.derivative == 1)
        return 2;
    if (rec.market_exchange == "BN")
        return 3;
    if (rec.market_exchange == "CN")
        return 0;
    return current;
}

bool isWatchType(int type)
{
    return type == kWindowMarketWatch || type == kWindowMisOptionsWatch || type == kWindowOtherWatch;
}

// True when the "%d," list holds item (a whole item, not the tail of a longer one).
bool listHas(const std::string& list, const std::string& item)
{
    for (size_t at = list.find(item); at != std::string::npos; at = list.find(item, at + 1))
        if (at == 0 || list[at - 1] == ',')
            return true;
    return false;
}

// The securities each window wants, asked outside the table's lock (window
// code must never run under it).
struct WindowWants {
    int slot;
    int type;
    std::vector<int> securities;
};

} // namespace feed_subscriptions_detail

FeedSubscriptions& FeedSubscriptions::instance()
{
    static FeedSubscriptions table;
    return table;
}

void FeedSubscriptions::reset()
{
    std::lock_guard lock(m_mutex);
    m_windows.assign(kInitialWindowCapacity, OpenWindowEntry{});
    m_windowCount = 0;
    m_tokens.clear();
    m_tokenCount = 0;
    m_entryOfSecurity.clear();
    m_freeEntries.clear();
    m_depth.clear();
    m_depthCount = 0;
    m_feedTokenList.clear();
    m_feedTokenCount = 0;
    m_indexTokenList.clear();
    m_indexTokenCount = 0;
    m_chartIndexTokenList.clear();
    m_chartIndexTokenCount = 0;
    m_depthTokenList.clear();
    m_depthTokenCount = 0;
    m_extraSecurities = nullptr;
    m_request = nullptr;
    changed();
}

void FeedSubscriptions::changed()
{
    m_fanOut.reset();
    m_version.fetch_add(1, std::memory_order_acq_rel);
}

// --- open-window table ---

int FeedSubscriptions::getClientDlg()
{
    std::lock_guard lock(m_mutex);
    try {
        int slot = -1;
        for (int i = 0; i < m_windowCount; ++i)
            if (!m_windows[static_cast<size_t>(i)].in_use) {
                slot = i;
                break;
            }
        if (slot < 0 && m_windowCount < static_cast<int>(m_windows.size()) - 1)
            slot = m_windowCount++;
        if (slot < 0) {
            const size_t old = m_windows.size();
            m_windows.resize(old + 5);
            for (size_t i = 0; i < m_windows.size(); ++i)
                if (!m_windows[i].in_use) {
                    slot = static_cast<int>(i);
                    break;
                }
            m_windowCount = slot + 1;
        }
        OpenWindowEntry& e = m_windows[static_cast<size_t>(slot)];
        e = OpenWindowEntry{};
        e.in_use = 1;
        e.index = -1;
        changed();
        return slot;
    } catch (...) {
        WriteLog(0, "Exception in getClientDlg");
        return -1;
    }
}

void FeedSubscriptions::setWindow(int slot, std::shared_ptr<FeedWindow> window, int type, int index)
{
    std::lock_guard lock(m_mutex);
    if (slot < 0 || slot >= m_windowCount)
        return;
    OpenWindowEntry& e = m_windows[static_cast<size_t>(slot)];
    e.window = std::move(window);
    e.type = type;
    e.index = index;
    changed();
}

void FeedSubscriptions::releaseSlot(int slot)
{
    std::shared_ptr<FeedWindow> last;
    {
        std::lock_guard lock(m_mutex);
        if (slot < 0 || slot >= m_windowCount)
            return;
        OpenWindowEntry& e = m_windows[static_cast<size_t>(slot)];
        last = std::move(e.window);
        e = OpenWindowEntry{};
        changed();
    }
    // The window object may be released here, outside the lock.
}

OpenWindowEntry FeedSubscriptions::window(int slot) const
{
    std::lock_guard lock(m_mutex);
    if (slot < 0 || slot >= static_cast<int>(m_windows.size()))
        return {};
    return m_windows[static_cast<size_t>(slot)];
}

int FeedSubscriptions::windowCount() const
{
    std::lock_guard lock(m_mutex);
    return m_windowCount;
}

int FeedSubscriptions::windowCapacity() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_windows.size());
}

// --- token subscription ---

int FeedSubscriptions::UpdateWatchToken(short action, int security, int slot, short keep)
{
    std::lock_guard lock(m_mutex);
    return updateWatchTokenLocked(action, security, slot, keep);
}

int FeedSubscriptions::updateWatchTokenLocked(short action, int security, int slot, short keep)
{
    try {
        if (action == 1) {
            // The security's own entry, else the first one not in use, else a new one.
            int entry = -1;
            if (auto it = m_entryOfSecurity.find(security); it != m_entryOfSecurity.end())
                entry = it->second;
            if (entry < 0 && !m_freeEntries.empty()) {
                entry = *m_freeEntries.begin();
                TokenSubscriptionEntry& reused = m_tokens[static_cast<size_t>(entry)];
                if (auto it = m_entryOfSecurity.find(reused.security); it != m_entryOfSecurity.end() && it->second == entry)
                    m_entryOfSecurity.erase(it);
                reused.security = security;
            }
            if (entry < 0) {
                if (m_tokenCount >= static_cast<int>(m_tokens.size()))
                    m_tokens.resize(static_cast<size_t>(m_tokenCount) + 10);
                entry = m_tokenCount++;
                TokenSubscriptionEntry& e = m_tokens[static_cast<size_t>(entry)];
                e.security = security;
            }
            m_entryOfSecurity[security] = entry;
            m_freeEntries.erase(entry);
            TokenSubscriptionEntry& e = m_tokens[static_cast<size_t>(entry)];
            e.in_use = 1;
            if (slot != -1)
                addWindowRefLocked(entry, 1, slot);
            if (auto table = SecurityTable::current(); table && table->valid(security))
                e.segment = feed_subscriptions_detail::feedSegmentCode(table->row(security), e.segment);
            changed();
            return entry;
        }
        if (action == 2) {
            const auto it = m_entryOfSecurity.find(security);
            if (it != m_entryOfSecurity.end()) {
                const int i = it->second;
                TokenSubscriptionEntry& e = m_tokens[static_cast<size_t>(i)];
                if (keep == 0) {
                    e.in_use = 0;
                    m_freeEntries.insert(i);
                }
                if (slot != -1)
                    addWindowRefLocked(i, 2, slot);
                changed();
                return i;
            }
        }
        return -1;
    } catch (...) {
        WriteLog(0, "Exception in UpdateWatchToken");
        return -1;
    }
}

void FeedSubscriptions::AddWindowRef(int entry, short action, int slot)
{
    std::lock_guard lock(m_mutex);
    addWindowRefLocked(entry, action, slot);
    changed();
}

void FeedSubscriptions::addWindowRefLocked(int entry, short action, int slot)
{
    if (action == 2 && entry == -1) {
        for (int i = 0; i < m_tokenCount; ++i)
            addWindowRefLocked(i, 2, slot);
        return;
    }
    if (entry < 0 || entry >= m_tokenCount)
        return;
    std::vector<int>& windowSlots = m_tokens[static_cast<size_t>(entry)].windowSlots;
    if (action == 1) {
        for (int s : windowSlots)
            if (s == slot)
                return;
        for (int& s : windowSlots)
            if (s == -1) {
                s = slot;
                return;
            }
        windowSlots.push_back(slot);
    } else if (action == 2) {
        for (int& s : windowSlots)
            if (s == slot) {
                s = -1;
                return;
            }
    }
}

int FeedSubscriptions::RemoveWatchInfoDlgRef(int slot)
{
    const OpenWindowEntry e = window(slot);
    if (slot < 0 || slot >= windowCount())
        return 0;
    try {
        std::vector<int> securities;
        if (e.in_use && e.window &&
            (feed_subscriptions_detail::isWatchType(e.type) || e.type == kWindowIntradayChart || e.type == kWindowNetPosition))
            securities = e.window->feedSecurities();
        if (e.in_use && (e.type == kWindowIntradayChart || e.type == kWindowMarketDepth) && e.index >= 0)
            securities.push_back(e.index);
        std::lock_guard lock(m_mutex);
        for (int s : securities)
            updateWatchTokenLocked(2, s, slot, 1);
        // Rows the window no longer lists may still carry its slot; a window
        // that later takes this slot number must not inherit their ticks.
        addWindowRefLocked(-1, 2, slot);
        changed();
        return 0;
    } catch (...) {
        WriteLog(0, "Exception in RemoveWatchInfoDlgRef at " + std::to_string(slot));
        return -1;
    }
}

std::vector<TokenSubscriptionEntry> FeedSubscriptions::tokenEntries() const
{
    std::lock_guard lock(m_mutex);
    return std::vector<TokenSubscriptionEntry>(m_tokens.begin(), m_tokens.begin() + m_tokenCount);
}

// --- depth ---

void FeedSubscriptions::UpdateMdepthToken(short action, int security)
{
    std::lock_guard lock(m_mutex);
    if (action == 1) {
        int entry = -1;
        for (int i = 0; i < m_depthCount && entry < 0; ++i)
            if (m_depth[static_cast<size_t>(i)].security == security)
                entry = i;
        for (int i = 0; i < m_depthCount && entry < 0; ++i)
            if (!m_depth[static_cast<size_t>(i)].in_use)
                entry = i;
        if (entry < 0) {
            if (m_depthCount >= static_cast<int>(m_depth.size()))
                m_depth.resize(static_cast<size_t>(m_depthCount) + 10);
            entry = m_depthCount++;
        }
        DepthSubscriptionEntry& e = m_depth[static_cast<size_t>(entry)];
        e.security = security;
        e.in_use = 1;
        if (auto table = SecurityTable::current(); table && table->valid(security))
            e.segment = feed_subscriptions_detail::depthSegmentCode(table->row(security), e.segment);
    } else if (action == 2) {
        for (int i = 0; i < m_depthCount; ++i)
            if (m_depth[static_cast<size_t>(i)].security == security) {
                m_depth[static_cast<size_t>(i)].in_use = 0;
                break;
            }
    }
}

// --- lists ---

void FeedSubscriptions::Update_Feeds_Token()
{
    const int feedsType = g_Config.Feeds_Type;
    if (feedsType == 0 || !IsLoggedIn())
        return;
    int step = 1;
    try {
        // What each window wants, asked without the lock.
        std::vector<feed_subscriptions_detail::WindowWants> wants;
        std::function<std::vector<int>()> extra;
        {
            std::lock_guard lock(m_mutex);
            extra = m_extraSecurities;
            bool netPositionTaken = false;
            for (int s = 0; s < m_windowCount; ++s) {
                const OpenWindowEntry& e = m_windows[static_cast<size_t>(s)];
                if (!e.in_use)
                    continue;
                // A depth window shows its security's day values from the
                // quote: it wants that quote whether or not a list shows it.
                if (feed_subscriptions_detail::isWatchType(e.type) || e.type == kWindowIntradayChart || e.type == kWindowMarketDepth ||
                    (e.type == kWindowNetPosition && !netPositionTaken)) {
                    wants.push_back({s, e.type, {}});
                    if ((e.type == kWindowIntradayChart || e.type == kWindowMarketDepth) && e.index >= 0)
                        wants.back().securities.push_back(e.index);
                    netPositionTaken = netPositionTaken || e.type == kWindowNetPosition;
                }
            }
        }
        for (auto& w : wants) {
            const OpenWindowEntry e = window(w.slot);
            if (e.window) {
                auto more = e.window->feedSecurities();
                w.securities.insert(w.securities.end(), more.begin(), more.end());
            }
        }
        std::vector<int> extraSecurities = extra ? extra() : std::vector<int>{};

        step = 2;
        auto table = SecurityTable::current();
        std::function<void(int)> request;
        bool send = false;
        {
            std::lock_guard lock(m_mutex);
            const std::string before = m_feedTokenList;
            m_feedTokenList.clear();
            m_feedTokenCount = 0;
            m_tokenCount = 0; // entries beyond the count keep their slot arrays for reuse
            m_entryOfSecurity.clear();
            m_freeEntries.clear();
            // Reused entries start without window links: a link left from the
            // security an entry held before would send its ticks to a window
            // that does not show it.
            for (auto& t : m_tokens) {
                t.in_use = 0;
                t.windowSlots.clear();
            }
            for (const auto& w : wants)
                for (int s : w.securities)
                    if (table && table->valid(s))
                        updateWatchTokenLocked(1, s, w.slot, 0);
            for (int s : extraSecurities)
                if (table && table->valid(s))
                    updateWatchTokenLocked(1, s, -1, 0);

            step = 5;
            for (int i = 0; i < m_tokenCount && table; ++i) {
                const TokenSubscriptionEntry& e = m_tokens[static_cast<size_t>(i)];
                if (!table->valid(e.security))
                    continue;
                const SecurityRecord& rec = table->row(e.security);
                const std::string item = std::to_string(rec.wtoken) + ",";
                // The index list is never emptied here (the index views write it
                // too), so an index already listed is not listed again.
                if (rec.inst_type == "IN" && !feed_subscriptions_detail::listHas(m_indexTokenList, item) &&
                    !feed_subscriptions_detail::listHas(m_chartIndexTokenList, item)) {
                    m_indexTokenList += item;
                    ++m_indexTokenCount;
                }
                if (!e.in_use)
                    continue;
                if ((feedsType == 5 || feedsType == 6) && e.segment != 0)
                    continue;
                m_feedTokenList += item;
                ++m_feedTokenCount;
            }
            changed();
            FeedState& fs = FeedState::instance();
            send = fs.running() && m_feedTokenList != before && feedsType > 1 && fs.slot() >= 0;
            request = m_request;
        }
        if (send && request)
            request(1);
    } catch (...) {
        WriteLog(0, "Exception in Update_Feeds_Token [" + std::to_string(step) + "]");
    }
}

void FeedSubscriptions::Update_MDepth_Token(int send)
{
    const int feedsType = g_Config.Feeds_Type;
    FeedState& fs = FeedState::instance();
    if (feedsType == 0 || !IsLoggedIn() || !fs.running())
        return;
    WriteLog(3, "In Update_MDepth_Token");
    try {
        auto table = SecurityTable::current();
        std::vector<int> depthSecurities;
        {
            std::lock_guard lock(m_mutex);
            for (int s = 0; s < m_windowCount; ++s) {
                const OpenWindowEntry& e = m_windows[static_cast<size_t>(s)];
                if (e.in_use && e.type == kWindowMarketDepth && table && table->valid(e.index))
                    depthSecurities.push_back(e.index);
            }
            m_depthTokenList.clear();
            m_depthTokenCount = 0;
            m_depthCount = 0;
        }
        for (int s : depthSecurities)
            UpdateMdepthToken(1, s);
        std::function<void(int)> request;
        {
            std::lock_guard lock(m_mutex);
            for (int i = 0; i < m_depthCount; ++i) {
                const DepthSubscriptionEntry& e = m_depth[static_cast<size_t>(i)];
                if (!e.in_use || !table || !table->valid(e.security))
                    continue;
                if (feedsType == 5 && e.segment != 0)
                    continue;
                m_depthTokenList += std::to_string(table->row(e.security).wtoken) + ",";
                ++m_depthTokenCount;
            }
            request = m_request;
        }
        if (send == 1 && feedsType > 1 && fs.running() && fs.slot() >= 0 && request)
            request(2);
    } catch (const std::exception& e) {
        WriteLog(0, std::string("SException in Update_MDepth_Token : [") + e.what() + "]");
    } catch (...) {
        WriteLog(0, "Exception in Update_MDepth_Token :0");
    }
}

std::string FeedSubscriptions::subscriptionText(int which) const
{
    FeedState& fs = FeedState::instance();
    const std::string head = std::string(pv_user_info.local_address) + "|" + fs.serverHost() + "|" +
                             std::to_string(fs.serverPort()) + "|" + pv_user_info.user_id + "|" +
                             std::to_string(fs.slot()) + "|";
    std::lock_guard lock(m_mutex);
    if (which == 1) {
        std::string tokens;
        int count = 0;
        // Any listed token counts: a list of one short watch token ("5,")
        // is a subscription too.
        if (!m_feedTokenList.empty() && m_feedTokenCount > 0) {
            tokens += m_feedTokenList;
            count += m_feedTokenCount;
        }
        if (!m_indexTokenList.empty() && m_indexTokenCount > 0) {
            tokens += m_indexTokenList;
            count += m_indexTokenCount;
        }
        return "201|" + head + std::to_string(count) + "|" + tokens;
    }
    return "203|" + head + std::to_string(m_depthTokenCount) + "|" + m_depthTokenList;
}

std::string FeedSubscriptions::logoutText() const
{
    FeedState& fs = FeedState::instance();
    return std::string("202|") + pv_user_info.local_address + "|" + fs.serverHost() + "|" +
           std::to_string(fs.serverPort()) + "|" + pv_user_info.user_id + "|" + std::to_string(fs.slot());
}

std::string FeedSubscriptions::heartbeatText() const
{
    FeedState& fs = FeedState::instance();
    return std::string("900|") + pv_user_info.local_address + "|" + fs.serverHost() + "|" + pv_user_info.user_id +
           "|" + std::to_string(fs.slot());
}

std::string FeedSubscriptions::feedTokenList() const
{
    std::lock_guard lock(m_mutex);
    return m_feedTokenList;
}

int FeedSubscriptions::feedTokenCount() const
{
    std::lock_guard lock(m_mutex);
    return m_feedTokenCount;
}

std::string FeedSubscriptions::indexTokenList() const
{
    std::lock_guard lock(m_mutex);
    return m_indexTokenList;
}

std::string FeedSubscriptions::depthTokenList() const
{
    std::lock_guard lock(m_mutex);
    return m_depthTokenList;
}

int FeedSubscriptions::indexTokenCount() const
{
    std::lock_guard lock(m_mutex);
    return m_indexTokenCount;
}

void FeedSubscriptions::SetIndexTokenList(std::string list, int count)
{
    std::lock_guard lock(m_mutex);
    m_indexTokenList = std::move(list);
    m_indexTokenCount = count;
}

void FeedSubscriptions::AddChartIndexToken(int token)
{
    const std::string item = std::to_string(token) + ",";
    std::lock_guard lock(m_mutex);
    if (feed_subscriptions_detail::listHas(m_chartIndexTokenList, item))
        return;
    m_chartIndexTokenList += item;
    ++m_chartIndexTokenCount;
}

void FeedSubscriptions::RemoveChartIndexToken(int token)
{
    const std::string item = std::to_string(token) + ",";
    std::lock_guard lock(m_mutex);
    for (size_t at = m_chartIndexTokenList.find(item); at != std::string::npos;
         at = m_chartIndexTokenList.find(item, at + 1))
        if (at == 0 || m_chartIndexTokenList[at - 1] == ',') {
            m_chartIndexTokenList.erase(at, item.size());
            --m_chartIndexTokenCount;
            return;
        }
}

std::string FeedSubscriptions::chartIndexTokenList() const
{
    std::lock_guard lock(m_mutex);
    return m_chartIndexTokenList;
}

int FeedSubscriptions::chartIndexTokenCount() const
{
    std::lock_guard lock(m_mutex);
    return m_chartIndexTokenCount;
}

void FeedSubscriptions::UpdateTokensThread(int which)
{
    if (which != 1 && which != 2)
        return;
    FeedState& fs = FeedState::instance();
    if (g_Config.Feeds_Type <= 1 || !IsLoggedIn() || !fs.running() || fs.slot() < 0)
        return;
    std::function<void(int)> request;
    {
        std::lock_guard lock(m_mutex);
        request = m_request;
    }
    if (request)
        request(which);
}

void FeedSubscriptions::setExtraSecurities(std::function<std::vector<int>()> source)
{
    std::lock_guard lock(m_mutex);
    m_extraSecurities = std::move(source);
}

void FeedSubscriptions::setSubscriptionRequest(std::function<void(int which)> request)
{
    std::lock_guard lock(m_mutex);
    m_request = std::move(request);
}

// --- the feed side's snapshot ---

std::shared_ptr<const FeedFanOut> FeedSubscriptions::fanOut() const
{
    std::lock_guard lock(m_mutex);
    if (!m_fanOut)
        m_fanOut = buildFanOut();
    return m_fanOut;
}

std::shared_ptr<const FeedFanOut> FeedSubscriptions::buildFanOut() const
{
    auto f = std::make_shared<FeedFanOut>();
    auto target = [&](int slot) {
        const OpenWindowEntry& w = m_windows[static_cast<size_t>(slot)];
        return FeedFanOut::Target{w.window, w.type, slot, w.index};
    };
    std::vector<std::vector<FeedFanOut::Target>> bySecurity;
    for (int i = 0; i < m_tokenCount; ++i) {
        const TokenSubscriptionEntry& e = m_tokens[static_cast<size_t>(i)];
        if (e.security < 0)
            continue;
        for (int slot : e.windowSlots) {
            if (slot < 0 || slot >= m_windowCount)
                continue;
            const OpenWindowEntry& w = m_windows[static_cast<size_t>(slot)];
            if (!w.in_use || !w.window)
                continue;
            if (static_cast<size_t>(e.security) >= bySecurity.size())
                bySecurity.resize(static_cast<size_t>(e.security) + 1);
            auto& list = bySecurity[static_cast<size_t>(e.security)];
            bool listed = false;
            for (const auto& t : list)
                listed = listed || t.slot == slot;
            if (!listed)
                list.push_back(target(slot));
        }
    }
    // Flattened: each security's windows side by side, found by its index.
    f->firstTarget.reserve(bySecurity.size() + 1);
    for (auto& list : bySecurity) {
        f->firstTarget.push_back(static_cast<uint32_t>(f->targets.size()));
        for (auto& t : list)
            f->targets.push_back(std::move(t));
    }
    f->firstTarget.push_back(static_cast<uint32_t>(f->targets.size()));
    for (int slot = 0; slot < m_windowCount; ++slot) {
        const OpenWindowEntry& w = m_windows[static_cast<size_t>(slot)];
        if (!w.in_use)
            continue;
        if (w.type == kWindowNetPosition)
            f->netPositionOpen = true;
        if (!w.window)
            continue;
        // The MIS Options and segment lists are market watches too.
        if (w.type == kWindowMarketWatch || w.type == kWindowMisOptionsWatch || w.type == kWindowOtherWatch
            || w.type == kWindowNetPosition)
            f->pollWindows.push_back(target(slot));
        if (w.type == kWindowMarketDepth)
            f->depthWindows.push_back(target(slot));
        else if (w.type == kWindowIndexChart)
            f->indexCharts.push_back(target(slot));
    }
    return f;
}

// --- the global table under the system's names ---

int getClientDlg()
{
    return FeedSubscriptions::instance().getClientDlg();
}

int UpdateWatchToken(short action, int security, int slot, short keep)
{
    return FeedSubscriptions::instance().UpdateWatchToken(action, security, slot, keep);
}

void AddWindowRef(int entry, short action, int slot)
{
    FeedSubscriptions::instance().AddWindowRef(entry, action, slot);
}

int RemoveWatchInfoDlgRef(int slot)
{
    return FeedSubscriptions::instance().RemoveWatchInfoDlgRef(slot);
}

void UpdateMdepthToken(short action, int security)
{
    FeedSubscriptions::instance().UpdateMdepthToken(action, security);
}

void Update_Feeds_Token()
{
    FeedSubscriptions::instance().Update_Feeds_Token();
}

void Update_MDepth_Token(int send)
{
    FeedSubscriptions::instance().Update_MDepth_Token(send);
}

void UpdateTokensThread(int which)
{
    FeedSubscriptions::instance().UpdateTokensThread(which);
}

std::string SubscriptionFrame(const std::string& text)
{
    if (text.size() > 99999) {
        WriteLog(0, "Subscription text too long to frame, Len <" + std::to_string(text.size()) + ">");
        return {};
    }
    char head[8];
    std::snprintf(head, sizeof head, "%05zu", text.size());
    return head + text;
}
