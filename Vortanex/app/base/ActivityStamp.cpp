#include "app/base/ActivityStamp.h"

#include "app/base/MessageBox.h"

#include "pf/clock.h"

#include <atomic>

namespace {

// Written by the UI thread and by every request thread.
std::atomic<int64_t> g_lastAccess{0};
std::atomic<bool> g_locked{false};

} // namespace

int64_t SetAccessTime()
{
    const int64_t now = pf::clock().nowSeconds();
    g_lastAccess.store(now);
    return now;
}

int64_t GetAccessTime()
{
    return g_lastAccess.load();
}

bool IsTerminalLocked()
{
    return g_locked.load();
}

void SetTerminalLocked(bool locked)
{
    g_locked.store(locked);
}

std::string TerminalLockedText(std::string_view action)
{
    return "Terminal is Locked. Pls Unlock to " + std::string(action);
}

bool RefuseWhileLocked(std::string_view action)
{
    if (!IsTerminalLocked())
        return false;
    MsgBoxOk(TerminalLockedText(action));
    return true;
}
