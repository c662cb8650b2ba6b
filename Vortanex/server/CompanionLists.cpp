#include "server/CompanionLists.h"

#include "app/base/AppSettings.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "server/SecurityTable.h"
#include "server/ServerAccess.h"
#include "watch/base/TextSplit.h"

#include "pf/clock.h"
#include "pf/files.h"
#include "pf/lzo.h"
#include "ui/prompter.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <unordered_map>

// File-local helpers.
namespace {
namespace companion_lists_detail {

// A line that carries file or server text is cut to this many characters, so one
// oversized field cannot flood the log or a request.
constexpr std::size_t kLineLimit = 599;

int toInt(std::string_view s)
{
    if (!s.empty() && s[0] == '+')
        s.remove_prefix(1);
    int v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() ? v : 0;
}

// The '~' records of a list text up to the first empty one.
std::vector<std::string> listRecords(std::string_view text)
{
    std::vector<std::string> parts;
    SplitString(text, '~', parts);
    auto end = std::find_if(parts.begin(), parts.end(), [](const std::string& p) { return p.empty(); });
    parts.erase(end, parts.end());
    return parts;
}

// A count from the file bounded by the records that follow it: a negative or
// inflated count must not size a table.
int boundedCount(const std::string& field, size_t present)
{
    const int n = toInt(field);
    return n < 0 ? 0 : std::min<int>(n, static_cast<int>(present));
}

} // namespace companion_lists_detail
} // namespace

int UpdateCategory(std::string_view text, const SecurityTable* table, bool hasSegment12,
                   std::vector<CategoryRecord>& out)
{
    out.clear();
    try {
        const std::vector<std::string> rec = companion_lists_detail::listRecords(text);
        if (rec.empty())
            return 0;
        WriteLog(0, formatTextCapped(companion_lists_detail::kLineLimit, "Category File Date :<%s>", rec[0].c_str()));
        if (rec.size() < 2)
            return 0;
        const int serverCount = companion_lists_detail::boundedCount(rec[1], rec.size() - 2);
        static const std::vector<ExpDateCompare> kNone;
        const auto& fs = table ? table->futureStockExpiries() : kNone;
        const auto& fi = table ? table->futureIndexExpiries() : kNone;
        const auto& fc = table ? table->futureCurrencyExpiries() : kNone;
        const size_t capacity = static_cast<size_t>(serverCount) + 7 + fs.size() + fi.size() + fc.size();
        WriteLog(0, formatText("Server Category :<%d>", serverCount));
        WriteLog(0, formatText("Total Category :<%d>", static_cast<int>(capacity)));
        out.reserve(capacity);

        auto add = [&](int id, std::string_view group, std::string_view name) {
            CategoryRecord& c = out.emplace_back();
            c.id = id;
            c.group.assign(group);
            c.name.assign(name);
        };
        add(-10000, "My Holdings", "My Investments");
        add(-10001, "My Holdings", "My Positions");
        add(-971, "MIS Watchlist", "MIS Equity");
        add(-972, "MIS Watchlist", "MIS Future");
        if (hasSegment12)
            add(-9999, "MIS Watchlist", "MIS Options");
        add(-973, "MIS Watchlist", "MIS Currency");
        add(-974, "MIS Watchlist", "MIS Commodity");
        auto addExpiries = [&](const std::vector<ExpDateCompare>& list, std::string_view group) {
            for (const ExpDateCompare& e : list)
                add(-10000 - static_cast<int>(out.size()), group, e.text);
        };
        addExpiries(fs, "Future Stock");
        addExpiries(fi, "Future Index");
        addExpiries(fc, "Future Currency");

        for (size_t i = 2; i < rec.size() && out.size() < capacity; ++i) {
            std::vector<std::string> f;
            SplitString(rec[i], ',', f);
            f.resize(std::max<size_t>(f.size(), 3));
            add(companion_lists_detail::toInt(f[0]), f[1], f[2]);
            WriteLog(0, rec[i]);
        }
    } catch (const std::exception&) {
        WriteLog(0, "Exception in UpdateCategory");
    }
    return static_cast<int>(out.size());
}

int UpdateServices(std::string_view text, std::vector<ServiceRecord>& services)
{
    WriteLog(0, "Entry : UpdateServices");
    int read = 0;
    try {
        const std::vector<std::string> rec = companion_lists_detail::listRecords(text);
        for (const std::string& r : rec)
            WriteLog(0, r);
        if (rec.empty())
            return 0;
        WriteLog(0, formatTextCapped(companion_lists_detail::kLineLimit, "Services File Date :<%s>", rec[0].c_str()));
        if (rec.size() < 2)
            return 0;
        const int count = companion_lists_detail::boundedCount(rec[1], rec.size() - 2);
        WriteLog(0, formatText("Server Services :<%d>", count));
        // The login marks the subscribed services after the first load; a
        // second load in the same run must not wipe those marks.
        std::unordered_map<int, int> marks;
        for (const ServiceRecord& s : services)
            if (s.subscribed)
                marks[s.id] = s.subscribed;
        std::vector<ServiceRecord> fresh;
        fresh.reserve(static_cast<size_t>(count));
        for (size_t i = 2; i < rec.size() && read < count; ++i, ++read) {
            std::vector<std::string> f;
            SplitString(rec[i], ',', f);
            f.resize(std::max<size_t>(f.size(), 2));
            ServiceRecord& s = fresh.emplace_back();
            s.name.assign(f[0]);
            s.id = companion_lists_detail::toInt(f[1]);
            auto m = marks.find(s.id);
            s.subscribed = m == marks.end() ? 0 : m->second;
        }
        services = std::move(fresh);
    } catch (const std::exception&) {
        WriteLog(0, "Exception in UpdateServices");
    }
    WriteLog(0, "Exit : UpdateServices");
    return read;
}

int ApplyPellbrookText(std::string_view text, SecurityTable& table, std::string_view today)
{
    int applied = 0;
    size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        // Whole lines are read and then cut, so a long line's tail never
        // passes for a record of its own.
        line = line.substr(0, 510);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.front() == '\r'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.remove_suffix(1);
        if (line.empty())
            break;
        if (first) {
            first = false;
            const std::string_view date = line.substr(0, 8);
            if (date != today)
                WriteLog(0, formatTextCapped(companion_lists_detail::kLineLimit,
                                             "Pellbrookfile  Date Mismatch file date [%s] system date [%s]",
                                             std::string(date).c_str(), std::string(today).c_str()));
            continue;
        }
        std::vector<std::string> f;
        SplitString(line, ',', f);
        if (f.size() < 4) {
            WriteLog(0, "file token not 4");
            WriteLog(0, line);
            continue;
        }
        const int index = table.searchToken(companion_lists_detail::toInt(f[0]), f[2]);
        if (index < 0)
            continue;
        std::vector<std::string> call;
        SplitString(f[3], '|', call);
        if (call.size() < 2) {
            WriteLog(0, "file token not 2");
            continue;
        }
        SecurityRecord& rec = table.row(index);
        if (call[0] == "Bullish")
            rec.advisory_kind = 1;
        else if (call[0] == "Bearish")
            rec.advisory_kind = 2;
        else if (call[0] == "Other")
            rec.advisory_kind = 3;
        rec.setAdvisoryText(call[1]);
        const std::string note = f.size() > 4 ? f[4].substr(0, 127) : std::string();
        if (!note.empty() || rec.extras)
            rec.extrasForWrite().advisory_note = note;
        ++applied;
    }
    return applied;
}

CompanionLists::CompanionLists(const pf::Paths& paths, ServerAccess& server, std::string securityHost)
    : m_paths(paths)
    , m_server(server)
    , m_host(std::move(securityHost))
{
}

void CompanionLists::progress(std::string_view text) const
{
    if (m_progress)
        m_progress(text);
}

std::string CompanionLists::unpackToList(const std::string& packed, const std::filesystem::path& lst,
                                         const char* initFailure, const char* errorFormat)
{
    if (!pf::lzo::init()) {
        if (initFailure) {
            MsgBoxInfo(initFailure);
        } else {
            WriteLog(0, "unable to init lzo while decompressing Pellbrook files");
        }
        return {};
    }
    std::vector<unsigned char> out;
    if (!pf::lzo::inflate(reinterpret_cast<const unsigned char*>(packed.data()), packed.size(), out,
                          packed.size() * 20)) {
        WriteLog(0, formatText(errorFormat, -1));
        return {};
    }
    std::string text(reinterpret_cast<const char*>(out.data()), out.size());
    if (!pf::files::writeAtomic(lst, text))
        WriteLog(0, formatTextCapped(companion_lists_detail::kLineLimit, "Unable to write %s", lst.string().c_str()));
    return text;
}

void CompanionLists::GetCategoryThread(int kind, const SecurityTable* table, bool hasSegment12)
{
    try {
        WriteLog(3, formatText("Entry GetCategoryThread :%d", kind));
        const auto lzo = m_paths.comp() / "category.lzo";
        const auto lst = m_paths.comp() / "category.lst";
        std::string text;
        if (kind == 1) {
            progress("Downloading Category Information");
            WriteLog(3, "Downloading Category Info from server");
            const ServerReply reply = m_server.requestServer(0, 15, "");
            progress("Downloaded Category Info Successfully");
            const std::string body = reply.status == 200 ? reply.body : std::string();
            WriteLog(0, formatText("Data Len <%d>, Len <%ld>", static_cast<int>(reply.body.size()),
                                   static_cast<long>(body.size())));
            if (!body.empty()) {
                pf::files::writeAtomic(lzo, body);
                progress("Uncompressing Category Information");
                text = unpackToList(body, lst, "Unable to download latest Category File", "Ret <%d>");
                if (!text.empty()) {
                    g_AppSettings.category_version = g_Session.category_version;
                    progress("Uncompressed Category Info Successfully");
                }
            }
            if (text.empty()) {
                // A failed download (HTTP error, no connection, damaged
                // archive) keeps the list on disk, as the master does.
                WriteLog(0, "Category download failed; the local list is loaded");
                text = pf::files::readAll(lst).value_or(std::string());
            }
        } else {
            progress("Uploading Category Info from file");
            WriteLog(3, "Uploading Category Info from file");
            text = pf::files::readAll(lst).value_or(std::string());
            progress("Downloaded Category Info Successfully");
        }
        if (!text.empty()) {
            const int n = UpdateCategory(text, table, hasSegment12, categories);
            WriteLog(0, formatText("Total Category Uploaded :%d", n));
        }
        progress("Updated Category Information Successfully");
        WriteLog(3, "Exit GetCategoryThread");
    } catch (const std::exception&) {
        WriteLog(0, "Exception in GetCategoryThread");
    }
}

void CompanionLists::GetServicesThread(int kind)
{
    try {
        WriteLog(3, formatText("Entry GetServicesThread : %d", kind));
        const auto lzo = m_paths.comp() / "services.lzo";
        const auto lst = m_paths.comp() / "services.lst";
        std::string text;
        if (kind == 1) {
            progress("Downloading Services Information");
            WriteLog(3, "Downloading Services Info from server");
            const ServerReply reply = m_server.requestServer(0, 18, "");
            progress("Downloaded Services Info Successfully");
            const std::string body = reply.status == 200 ? reply.body : std::string();
            WriteLog(0, formatText("Data Len <%d>, Len <%ld>", static_cast<int>(reply.body.size()),
                                   static_cast<long>(body.size())));
            if (!body.empty()) {
                pf::files::writeAtomic(lzo, body);
                progress("Uncompressing Services Information");
                text = unpackToList(body, lst, "Unable to download latest Services File", "Ret <%d>");
                if (!text.empty()) {
                    g_AppSettings.services_version = g_Session.services_version;
                    progress("Uncompressed Services Info Successfully");
                }
            }
            if (text.empty()) {
                // A failed download (HTTP error, no connection, damaged
                // archive) keeps the list on disk, as the master does.
                WriteLog(0, "Services download failed; the local list is loaded");
                text = pf::files::readAll(lst).value_or(std::string());
            }
        } else {
            progress("Uploading Services Info from file");
            WriteLog(3, "Uploading Services Info from file");
            text = pf::files::readAll(lst).value_or(std::string());
        }
        WriteLog(0, text);
        if (!(kind == 0 && !services.empty()) && !text.empty()) {
            const int n = UpdateServices(text, services);
            WriteLog(0, formatText("Total Services Uploaded :%d", n));
        }
        progress("Updated Services Information Successfully");
        WriteLog(3, "Exit GetServicesThread");
    } catch (const std::exception&) {
        WriteLog(0, "Exception in GetServicesThread");
    }
}

void CompanionLists::GetPellbrookFile(int kind, SecurityTable& table)
{
    WriteLog(0, "Entry : GetPellbrookFile");
    try {
        const std::string stem = kAdvisoryStem;
        const auto lzo = m_paths.comp() / (stem + ".lzo");
        const auto lst = m_paths.comp() / (stem + ".lst");
        if (kind == 1) {
            progress("Downloading Pellbrook File");
            const ServerReply reply = m_server.downLoadFile(m_host, 80, "/security/" + stem + ".lzo");
            if (reply.status == 200 && !reply.body.empty()) {
                pf::files::writeAtomic(lzo, reply.body);
                unpackToList(reply.body, lst, nullptr, "uncompressing Pellbrook file retcode <%d>");
            }
        }
        auto text = pf::files::readAll(lst);
        if (!text) {
            WriteLog(0, "Unable to open Pellbrook file for reading");
            return;
        }
        const pf::LocalTime now = pf::clock().localNow();
        const std::string today = formatText("%02d%02d%04d", now.day, now.month, now.year);
        const int n = ApplyPellbrookText(*text, table, today);
        WriteLog(0, formatText("%ld records read from Pellbrook file", static_cast<long>(n)));
    } catch (const std::exception&) {
        WriteLog(0, "Exception while reading Pellbrook file at line no 0");
    }
    WriteLog(0, "Exit : GetPellbrookFile");
}

namespace {
CompanionLists* g_currentLists = nullptr;
} // namespace

void SetCurrentCompanionLists(CompanionLists* lists)
{
    g_currentLists = lists;
}

CompanionLists* CurrentCompanionLists()
{
    return g_currentLists;
}

std::string CategoryGroup(int id)
{
    if (!g_currentLists)
        return {};
    for (const CategoryRecord& c : g_currentLists->categories)
        if (c.id == id)
            return std::string(c.group.view());
    return {};
}
