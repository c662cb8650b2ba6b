// The security master: a full file, and the merge of a previous full file
// with an incremental one (the input cut at its first '\x01').
// Properties: no more rows than records; a record written back reads to the
// same security and, after one round, to the same text; the merged file
// reads back to the rows it keeps, which write a stable text.
#include "../FuzzTarget.h"

#include "server/SecurityFile.h"
#include "server/SecurityMaster.h"

#include <algorithm>

namespace security_master {

namespace {

std::string formatAll(const SecurityRows& rows, bool extended)
{
    std::string text;
    for (const SecurityRecord& r : rows)
        text += FormatSecurityRecord(r, extended);
    return text;
}

// The text's header record, '~' included.
std::string_view headerOf(std::string_view text)
{
    return text.substr(0, text.find('~') + 1);
}

} // namespace

FUZZ_TARGET(security_master)
{
    const std::string_view input = fuzz::text(data, size);
    const size_t cut = input.find('\x01');
    const std::string_view previous = input.substr(0, cut);

    // Written back, a record may lose the blanks around its fields and gain
    // the fields an older layout left out; from then on it is stable, with
    // the same security.
    const SecurityFileContent full = ParseSecurityText(previous, SecurityReading::Full);
    FUZZ_CHECK(full.rows.size() <= size_t(std::count(previous.begin(), previous.end(), '~')) + 1);
    for (const SecurityRecord& row : full.rows) {
        const std::string written = FormatSecurityRecord(row, full.extended);
        FUZZ_CHECK(!written.empty() && written.back() == '~');
        bool extended = false;
        const std::string_view record = std::string_view(written).substr(0, written.size() - 1);
        const SecurityRecord again = ParseSecurityRecord(record, SecurityReading::Full, extended);
        FUZZ_CHECK(again.token == row.token);
        const std::string twice = FormatSecurityRecord(again, full.extended);
        const SecurityRecord third =
            ParseSecurityRecord(std::string_view(twice).substr(0, twice.size() - 1), SecurityReading::Full, extended);
        FUZZ_CHECK(FormatSecurityRecord(third, full.extended) == twice);
    }
    if (cut == std::string_view::npos)
        return;

    const SecurityFileContent before = ParseSecurityText(previous, SecurityReading::Incremental);
    const SecurityFileContent incremental = ParseSecurityText(input.substr(cut + 1), SecurityReading::Incremental);
    const MergedMaster merged = MergeSecurityMaster(before, incremental);
    FUZZ_CHECK(merged.rows.size() <= before.rows.size() + incremental.rows.size());
    // Every row the file keeps (not the deleted indices the table keeps for
    // the run) reads back, and the rows read back write a stable text.
    const SecurityFileContent reread = ParseSecurityText(merged.fileText, SecurityReading::Incremental);
    const size_t kept = size_t(std::count_if(merged.rows.begin(), merged.rows.end(),
                                             [](const SecurityRecord& r) { return !(r.status == "DEL"); }));
    FUZZ_CHECK(reread.rows.size() == kept);
    const std::string rewritten = std::string(headerOf(merged.fileText)) + formatAll(reread.rows, merged.extended);
    const SecurityFileContent again = ParseSecurityText(rewritten, SecurityReading::Incremental);
    FUZZ_CHECK(again.rows.size() == kept);
    const std::string stable = formatAll(again.rows, merged.extended);
    const SecurityFileContent last = ParseSecurityText(std::string(headerOf(merged.fileText)) + stable,
                                                      SecurityReading::Incremental);
    FUZZ_CHECK(formatAll(last.rows, merged.extended) == stable);
}

} // namespace security_master
