#pragma once
// The text format of "security.lst" and "security_incr.lst": '~'-separated
// records, a "date-number-count" header, then one ','-separated security per
// record; and the three layouts in which a merged master is written back.
#include "server/SecurityRecord.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pf::memory {
class MapAhead;
}

struct SecurityFileHeader {
    std::string raw;  // the header record as read
    std::string date; // up to 10 characters, only shown and copied
    int number = 0;
    int count = 100;  // a count below 1 counts as 100
};

struct SecurityFileContent {
    SecurityFileHeader header;
    SecurityRows rows; // in file order
    bool extended = false;            // a record carried field 9
    bool opened = false;              // the file could be read
};

// How a file is read: the full load, or the merge's reading of the previous
// full file and of the incremental file (which keys "CM" rows differently).
enum class SecurityReading { Full, Incremental };

// Room for the rows of a large master, made before its text is all there
// (while the archive unpacks or the file is read): sized from the header's
// count, on large pages, and where pages are small mapped on helper threads
// meanwhile, so that the parsing threads fill rows whose pages are already
// there instead of all faulting them in at once. A small master, or a text
// whose header is not among the given bytes, gets none.
// Enough of a master's first bytes to hold its header.
constexpr size_t kSecurityHeadBytes = 4096;

class SecurityRowsAhead {
public:
    SecurityRowsAhead();
    // `head`: the text's first bytes, the header record among them.
    explicit SecurityRowsAhead(std::string_view head);
    SecurityRowsAhead(SecurityRowsAhead&&) noexcept;
    SecurityRowsAhead& operator=(SecurityRowsAhead&& other) noexcept;
    ~SecurityRowsAhead(); // waits for the mapping
    // Waits for the mapping and gives the room (empty when none was made).
    SecurityRows take();

private:
    SecurityRows m_rows;
    std::unique_ptr<pf::memory::MapAhead> m_mapping; // maps m_rows' memory
};

// Parses a whole master text. Records after the first empty one are ignored.
// False for a master cut short: fewer records than its header counts (when
// it counts), or a last record without its closing '~'.
bool SecurityTextLooksWhole(std::string_view text);

SecurityFileContent ParseSecurityText(std::string_view text, SecurityReading reading);
// The same into `room`'s memory (see SecurityRowsAhead) when it has room
// enough and not far too much; its rows are dropped first.
SecurityFileContent ParseSecurityText(std::string_view text, SecurityReading reading, SecurityRows room);

// Parses one security record (without its '~') into a cleared record; sets
// `extended` when the record carries field 9. Its extras, if any, are made
// by `extras` when given.
void ParseSecurityRecord(std::string_view record, SecurityReading reading, bool& extended, SecurityRecord& rec,
                         SecurityExtrasBlocks::Maker* extras = nullptr);
SecurityRecord ParseSecurityRecord(std::string_view record, SecurityReading reading, bool& extended);

// The record as the merge writes it back, '~' included.
std::string FormatSecurityRecord(const SecurityRecord& rec, bool extendedFormat);

// Reads a master file whole; `opened` is false (and the content empty) when it
// cannot be read.
SecurityFileContent LoadSecurity(const std::string& fileName, SecurityReading reading = SecurityReading::Full);
// The same for a full master already in memory (a download just unpacked).
SecurityFileContent LoadSecurityText(std::string_view text, SecurityRows room = {});
