#pragma once
// The latest request wins: a window that may send a request while an earlier
// one is still out numbers each one, and shows a reply only when it answers
// the newest; a reply to an older request is dropped (and logged at level 3),
// so a slow earlier reply never overwrites what the user asked for last.
// Owned and used by one thread (the window's).
#include <cstdint>
#include <string_view>

namespace pf {

class LatestRequest {
public:
    // A new request: its number, which makes every earlier one stale.
    uint64_t next() { return ++m_latest; }
    // True when `ticket` is the latest request; otherwise logs the dropped
    // reply of `what` and returns false.
    bool isLatest(uint64_t ticket, std::string_view what) const;
    // Makes every request sent so far stale (the window stops waiting).
    void dropAll() { ++m_latest; }
    uint64_t latest() const { return m_latest; }

private:
    uint64_t m_latest = 0;
};

} // namespace pf
