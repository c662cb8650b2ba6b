#pragma once
// The lists fetched beside the security master: the watch-list categories
// ("category.lst"), the broker's services ("services.lst") and the advisory
// file that marks securities with a bullish, bearish or other call.
#include "app/base/ListRecords.h"
#include "server/SecurityRecord.h"

#include "pf/paths.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class SecurityTable;
class ServerAccess;


// Fills `out` with the built-in rows, one row per futures expiry of the
// table's stock, index and currency lists, then the server's categories of
// the '~' text. Returns the number of rows filled.
int UpdateCategory(std::string_view text, const SecurityTable* table, bool hasSegment12,
                   std::vector<CategoryRecord>& out);

// Replaces `services` by the list of the '~' text; a service that was marked
// subscribed keeps its mark (matched by id). Returns the number read.
int UpdateServices(std::string_view text, std::vector<ServiceRecord>& services);

// Applies the advisory text (line 1 the date "%d%m%Y", then
// "token,unused,exch,Kind|text[|...],remark" lines) to the table's rows.
// Returns the number of lines applied.
int ApplyPellbrookText(std::string_view text, SecurityTable& table, std::string_view today);

class CompanionLists {
public:
    using Progress = std::function<void(std::string_view text)>;

    CompanionLists(const pf::Paths& paths, ServerAccess& server, std::string securityHost);
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // Kind 1 downloads, any other kind loads the local file.
    void GetCategoryThread(int kind, const SecurityTable* table, bool hasSegment12);
    void GetServicesThread(int kind);
    void GetPellbrookFile(int kind, SecurityTable& table);

    std::vector<CategoryRecord> categories;
    std::vector<ServiceRecord> services;
    // A successful download stores the login's version number of its list
    // (g_Session) in the settings record (g_AppSettings), where CheckDate
    // compares them, so the next start-up with the same versions fetches
    // nothing; the settings save of the start-up keeps it.

    static constexpr const char* kAdvisoryStem = "PellbrookSecFile";

private:
    // Unpacks a fetched archive into the ".lst" file; the unpacked text, or
    // empty when it could not be unpacked.
    std::string unpackToList(const std::string& packed, const std::filesystem::path& lst, const char* initFailure,
                             const char* errorFormat);
    void progress(std::string_view text) const;

    const pf::Paths& m_paths;
    ServerAccess& m_server;
    std::string m_host;
    Progress m_progress;
};

// The program's lists, installed by the start-up once they exist (nullptr
// when they go); the windows read the categories through it. UI thread.
void SetCurrentCompanionLists(CompanionLists* lists);
CompanionLists* CurrentCompanionLists();

// The group of a watch-list category id; empty when there is no such
// category or no lists yet.
std::string CategoryGroup(int id);
