#include "pf/latest_request.h"

#include "pf/log.h"

#include <string>

namespace pf {

bool LatestRequest::isLatest(uint64_t ticket, std::string_view what) const
{
    if (ticket == m_latest)
        return true;
    logLine(3, "Dropped the reply to an older " + std::string(what) + " request (" + std::to_string(ticket)
                   + ", latest " + std::to_string(m_latest) + ")");
    return false;
}

} // namespace pf
