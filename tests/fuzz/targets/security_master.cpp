// The security master: a full file, and the merge of a previous full file
// with an incremental one (the input cut at its first '\x01').
// Properties: no more rows than records; a record written back reads to a
// record written the same; the merged file reads back to the rows
// the file keeps, each writing back the same record.
#include "../FuzzTarget.h"

#include "server/SecurityFile.h"
#include "server/SecurityMaster.h"

#include <algorithm>

FUZZ_TARGET(security_master)
{
    const std::string_view input = fuzz::text(data, size);
    const size_t cut = input.find('\x01');
    const std::string_view previous = input.substr(0, cut);

    const SecurityFileContent full = ParseSecurityText(previous, SecurityReading::Full);
    FUZZ_CHECK(full.rows.size() <= size_t(std::count(previous.begin(), previous.end(), '~')) + 1);
    for (const SecurityRecord& row : full.rows) {
        const std::string written = FormatSecurityRecord(row, full.extended);
        FUZZ_CHECK(!written.empty() && written.back() == '~');
        bool extended = false;
        const SecurityRecord again =
            ParseSecurityRecord(std::string_view(written).substr(0, written.size() - 1), SecurityReading::Full,
                                extended);
        FUZZ_CHECK(FormatSecurityRecord(again, full.extended) == written);
    }
    if (cut == std::string_view::npos)
        return;

    const SecurityFileContent before = ParseSecurityText(previous, SecurityReading::Incremental);
    const SecurityFileContent incremental = ParseSecurityText(input.substr(cut + 1), SecurityReading::Incremental);
    const MergedMaster merged = MergeSecurityMaster(before, incremental);
    FUZZ_CHECK(merged.rows.size() <= before.rows.size() + incremental.rows.size());
    // Every row the file keeps (not the deleted indices the table keeps for
    // the run) reads back and writes the same record again.
    const SecurityFileContent reread = ParseSecurityText(merged.fileText, SecurityReading::Incremental);
    const size_t kept = size_t(std::count_if(merged.rows.begin(), merged.rows.end(),
                                             [](const SecurityRecord& r) { return !(r.status == "DEL"); }));
    FUZZ_CHECK(reread.rows.size() == kept);
    std::string rewritten;
    for (const SecurityRecord& r : reread.rows)
        rewritten += FormatSecurityRecord(r, merged.extended);
    FUZZ_CHECK(merged.fileText.size() >= rewritten.size());
    FUZZ_CHECK(merged.fileText.substr(merged.fileText.size() - rewritten.size()) == rewritten);
}
