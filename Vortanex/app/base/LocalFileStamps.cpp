#include "app/base/LocalFileStamps.h"

#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"

#include "pf/clock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>

SecurityStampValues g_SecurityStampValues;

namespace local_file_stamps_detail {
namespace {

// A list header is at most this long before its '~'; a longer one is cut.
constexpr size_t kHeaderLength = 31;

// The first `limit` characters of a file, nullopt when it cannot be opened.
std::optional<std::string> readHead(const std::filesystem::path& path, size_t limit)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string head(limit, '\0');
    in.read(head.data(), static_cast<std::streamsize>(limit));
    head.resize(static_cast<size_t>(in.gcount()));
    return head;
}

// The header of a list file: its text up to the first '~'.
std::optional<std::string> listHeader(const char* name)
{
    std::optional<std::string> head = readHead(ProgramPaths().comp() / name, kHeaderLength);
    if (head)
        head = head->substr(0, head->find('~'));
    return head;
}

std::vector<std::string> split(std::string_view text, char separator)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        out.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return out;
        start = end + 1;
    }
}

int checkSecurity()
{
    SecurityStampValues& v = g_SecurityStampValues;
    const std::string stamp(FixedTextView(g_Session.security_stamp));
    v.date = v.fileNumber = v.records = v.fullLength = 0;
    if (std::sscanf(stamp.c_str(), "%d-%d-%d-%d", &v.date, &v.fileNumber, &v.records, &v.fullLength) != 4)
        WriteLog(0, "Login security stamp is incomplete :<" + stamp + ">");
    WriteLog(3, formatText("Login Sec Date :<%s>, Date<%d>, No <%d>, Records <%d>, Full Sec File len <%d>",
                           stamp.c_str(), v.date, v.fileNumber, v.records, v.fullLength));
    const std::optional<std::string> header = listHeader("security.lst");
    if (!header)
        return 1;
    const std::vector<std::string> parts = split(*header, '-');
    v.localFileDate = parts[0];
    const int number = parts.size() > 1 ? std::atoi(parts[1].c_str()) : 0;
    const int records = parts.size() > 2 ? std::atoi(parts[2].c_str()) : 0;
    WriteLog(3, formatText("File Sec Date :<%s>, Date<%s>, No <%d>, Records <%d>", header->c_str(),
                           v.localFileDate.c_str(), number, records));
    return v.date != 0 || v.records != 0 ? 1 : 0;
}

int checkAdvisory()
{
    const std::filesystem::path path = ProgramPaths().comp() / "PellbrookSecFile.lst";
    errno = 0;
    const std::optional<std::string> head = readHead(path, 8);
    if (!head) {
        WriteLog(0,
                 formatText("Pellbrook File Open Failed Error Code[%ld]", static_cast<long>(errno ? errno : ENOENT)));
        return 1;
    }
    const pf::LocalTime t = pf::clock().localNow();
    const std::string today = formatText("%02d%02d%04d", t.day, t.month, t.year);
    WriteLog(3, formatText("Pellbrook File Date :[%s][%s]", head->c_str(), today.c_str()));
    // A file shorter than a date is not today's.
    return *head == today ? 0 : 1;
}

} // namespace
} // namespace local_file_stamps_detail

int ReadSecurityStamp()
{
    try {
        const std::optional<std::string> head = local_file_stamps_detail::readHead(ProgramPaths().comp() / "security.lst", 30);
        if (!head) {
            CopyFixedText(g_Session.security_stamp, "0");
            return 1;
        }
        CopyFixedText(g_Session.security_stamp, head->substr(0, head->find_first_of("-~")));
        return 0;
    } catch (...) {
        WriteLog(0, "Exception in ReadSecurityStamp");
        return 1;
    }
}

int CheckDate(int kind)
{
    try {
        switch (kind) {
        case 1:
            return local_file_stamps_detail::checkSecurity();
        case 2: {
            const std::optional<std::string> header = local_file_stamps_detail::listHeader("category.lst");
            if (!header)
                return 1;
            WriteLog(3, "Category File Date :" + *header);
            return g_AppSettings.category_version != g_Session.category_version ? 1 : 0;
        }
        case 3: {
            const std::optional<std::string> header = local_file_stamps_detail::listHeader("services.lst");
            if (!header)
                return 1;
            WriteLog(3, formatText("Services File Date :%s, File Version [%d - %d]", header->c_str(),
                                   g_AppSettings.services_version, g_Session.services_version));
            return g_AppSettings.services_version != g_Session.services_version ? 1 : 0;
        }
        case 4:
            return local_file_stamps_detail::checkAdvisory();
        default:
            return 0;
        }
    } catch (...) {
        WriteLog(0, "Exception in CheckDate");
        return kind >= 1 && kind <= 4 ? 1 : 0;
    }
}
