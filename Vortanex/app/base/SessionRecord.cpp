#include "app/base/SessionRecord.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"

#include <array>
#include <charconv>
#include <mutex>

UserInfoRecord pv_user_info;
SessionValues g_Session;

namespace {

constexpr std::array<uint32_t, kMaxSegments> kRowColours = {
    0xFFFFFF, 0xDCFFDC, 0xFFF0FF, 0xD2FFFF, 0x96C8EB, 0xE1FFB4, 0xDCFFDC, 0x96C8C8,
    0xFFCCCC, 0xEEEED1, 0,        0,        0xEEEED1, 0,        0,
};

std::mutex g_flagsMutex;
char g_loginFlags[129] = {}; // guarded by g_flagsMutex

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// atoi: optional sign and the leading digits; 0 without digits.
int leadingInt(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    long long value = 0;
    std::from_chars(s.data(), s.data() + s.size(), value);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int>(value);
}

} // namespace

ClientInfo* ActiveClientEntry()
{
    const int ci = pv_user_info.client_index;
    if (ci < 0 || ci >= static_cast<int>(g_Session.clients.size()))
        return nullptr;
    return &g_Session.clients[static_cast<size_t>(ci)];
}

void ClearSessionRecord()
{
    pv_user_info = UserInfoRecord{};
    g_Session = SessionValues{};
    SetLoginFlags({});
    SetLoggedSessionId({});
}

uint32_t SegmentRowColour(int position)
{
    if (position < 0 || position >= kMaxSegments)
        return 0;
    return kRowColours[static_cast<size_t>(position)];
}

int ParseSegmentList(std::string_view field)
{
    WriteLog(0, std::string("Segment list : ") + std::string(field));
    std::vector<ExchangeSegment> table(kMaxSegments);
    int filled = 0;
    int dropped = 0;
    size_t start = 0;
    while (start <= field.size()) {
        size_t end = field.find('^', start);
        if (end == std::string_view::npos)
            end = field.size();
        const std::string_view item = trimBlanks(field.substr(start, end - start));
        start = end + 1;

        const size_t firstDash = item.size() > 1 ? item.find('-', 1) : std::string_view::npos;
        if (firstDash == std::string_view::npos)
            continue;
        if (filled == kMaxSegments) {
            ++dropped;
            continue;
        }
        ExchangeSegment& seg = table[static_cast<size_t>(filled)];
        seg.id = leadingInt(item.substr(0, firstDash));
        const std::string_view rest = item.substr(firstDash + 1);
        const size_t secondDash = rest.find('-');
        CopyFixedText(seg.name, rest.substr(0, secondDash));
        if (secondDash != std::string_view::npos && secondDash + 1 < rest.size())
            seg.flag = rest[secondDash + 1];
        seg.text_colour = 0;
        seg.row_colour = SegmentRowColour(filled);
        ++filled;
    }
    if (dropped > 0)
        WriteLog(0, "Segment list holds " + std::to_string(filled + dropped) + " segments, more than the "
                        + std::to_string(kMaxSegments) + " the terminal keeps; " + std::to_string(dropped)
                        + " dropped");
    pv_user_info.segments = std::move(table);
    pv_user_info.segment_count = filled;
    return filled;
}

bool AllocateClientTable(int count)
{
    if (count < 0 || count > kMaxClients) {
        WriteLog(0, "Client count " + std::to_string(count) + " of the login reply is outside 0 to "
                        + std::to_string(kMaxClients) + "; the client table is not built");
        g_Session.clients.clear();
        g_Session.client_count = 0;
        g_Session.clients_in_use = 0;
        return false;
    }
    const int entries = count == 0 ? 1 : count;
    g_Session.clients.assign(static_cast<size_t>(entries), ClientInfo{});
    g_Session.client_count = entries;
    g_Session.clients_in_use = count == 0 ? 1 : 0;
    return true;
}

void FillOwnClientEntry()
{
    if (pv_user_info.user_type == 'P' || g_Session.clients.empty())
        return;
    ClientInfo& own = g_Session.clients.front();
    CopyFixedText(own.user_id, FixedTextView(pv_user_info.user_id));
    CopyFixedText(own.client_code, FixedTextView(pv_user_info.client_code));
    CopyFixedText(own.client_code2, FixedTextView(pv_user_info.client_code2));
    CopyFixedText(own.session_id, FixedTextView(pv_user_info.session_id));
    own.active = 1;
    g_Session.clients_in_use = 1;
    pv_user_info.client_index = 0;
}

void SetLoginFlags(std::string_view flags)
{
    std::lock_guard lock(g_flagsMutex);
    if (!CopyFixedText(g_loginFlags, flags))
        WriteLog(0, "Login flags cut to 128 characters");
}

char LoginFlagAt(int position)
{
    std::lock_guard lock(g_flagsMutex);
    if (position < 0 || position >= static_cast<int>(sizeof g_loginFlags) - 1)
        return '\0';
    // Past the terminator everything is zero, so no length check is needed.
    return g_loginFlags[position];
}

void SetLoginFlagAt(int position, char value)
{
    std::lock_guard lock(g_flagsMutex);
    const int length = static_cast<int>(strnlen(g_loginFlags, sizeof g_loginFlags));
    if (position < 0 || position >= length || value == '\0')
        return;
    g_loginFlags[position] = value;
}

std::string LoginFlags()
{
    std::lock_guard lock(g_flagsMutex);
    return std::string(FixedTextView(g_loginFlags));
}
