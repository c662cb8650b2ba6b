#pragma once
// Download, unpacking, merging and loading of the security master. The full
// file and the numbered incremental files arrive LZO-packed; an incremental
// file is merged into the local full file, which is then rewritten and loaded
// into a new SecurityTable that is published for the rest of the program.
#include "server/SecurityFile.h"
#include "server/SecurityTable.h"

#include "pf/lzo.h"
#include "pf/paths.h"

#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class ServerAccess;

// The login's security stamp "%d-%d-%d-%d".
struct SecurityStamp {
    int incrementalNumber = 0; // incremental file due; 0 for the full file or nothing
    int logNumber = 0;         // only logged
    long dueSize = 0;          // compressed size of the file due now; 0 = nothing due
    long fullSize = 0;         // compressed size of the full file (menu command)

    // False when the text does not hold the four numbers.
    static bool parse(std::string_view text, SecurityStamp& out);
};

class SecurityMaster {
public:
    using Progress = std::function<void(std::string_view text)>;

    SecurityMaster(const pf::Paths& paths, ServerAccess& server, std::string securityHost);

    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // Start-up: takes the stamp and returns the kind of run, 1 (download)
    // when a file is due or the local master cannot be read, else 0.
    int prepareStartup(const SecurityStamp& stamp);
    // Menu command: the full file is fetched, expected at the stamp's full size.
    void prepareFullDownload(const SecurityStamp& stamp);

    // Kind 1 downloads the file due; any other kind loads the local file.
    // Returns 0, or -1 when the program must end.
    int GetSecurityThread(int kind);
    void UpdateFullSecurity();
    void UpdateIncrementalSecurity();

    std::filesystem::path fullFile() const { return m_paths.comp() / "security.lst"; }
    std::filesystem::path incrementalFile() const { return m_paths.comp() / "security_incr.lst"; }

    // The table built by the last load (also published).
    std::shared_ptr<SecurityTable> table() const { return m_table; }

    // Waits for the write of the plain master that a full download left
    // going on (nothing when none is); true unless that write failed. Every
    // step here that reads or replaces the file waits for it first, and so
    // does the destructor.
    bool finishWriting();

    int incrementalNumber = 0;   // incremental file due
    long expectedSize = 0;       // compressed size expected of the download
    std::string localFileDate;   // date of the local full file, for the size question

private:
    void progress(std::string_view text) const;
    // True when the archive unpacked: an incremental file is written at
    // once; a full master is kept for UpdateFullSecurity, which loads it from
    // memory and writes the file after.
    bool unpack(const std::string& packed);
    void install(SecurityRows rows, SecurityTable::Build kind, bool extended);

    const pf::Paths& m_paths;
    ServerAccess& m_server;
    std::string m_host;
    Progress m_progress;
    std::shared_ptr<SecurityTable> m_table;
    pf::lzo::Bytes m_downloadedFull; // a full master unpacked, not yet loaded and written
    SecurityRowsAhead m_downloadedRows; // room for its rows
    // The local master as prepareStartup read it, for a start that loads it
    // (read once, not again), with the room for its rows.
    std::optional<std::string> m_localText;
    SecurityRowsAhead m_localRows;
    // The downloaded master's file, still being written.
    std::future<bool> m_fileWrite;
};

// A full master just downloaded and unpacked, made ready: the table is built
// from the text in memory while the plain file (the next start's master) is
// written atomically beside it (a temporary file, flushed, renamed over the
// old one: the file is the old master or the whole new one, never a part).
// The call returns when the table is ready; the write may go on after it.
// The table is not published.
struct DownloadedMaster {
    std::shared_ptr<SecurityTable> table;
    // The write: get() waits for it and tells whether the file was written
    // (false: it could not be, logged, and the old file is left as it was).
    // Dropping it waits for the write too.
    std::future<bool> written;
};
// `text` is read while `keep` lives; the write keeps it until it is done.
// `room`: see SecurityRowsAhead.
DownloadedMaster LoadDownloadedMaster(std::string_view text, std::shared_ptr<const void> keep,
                                      const std::filesystem::path& file, SecurityRows room = {});

// The merge map: entries ordered by symbol (byte-wise), a new security after
// the others of its symbol.
using SecurityMergeMap = std::multimap<std::string, SecurityRecord>;

// Folds a master file into the merge map: a record replaces the entry of the
// same symbol, exchange code, instrument type and token, or is added. Mode 1
// (the previous full file) skips "DEL" and "SUSP" records; mode 2 (the
// incremental file) takes all, so its "DEL" marks a security deleted. Returns
// the number of records taken that are not "DEL"; `date` gets the file's date.
int LoadIncrSecurity(SecurityMergeMap& map, const std::string& fileName, std::string& date, int mode);
int LoadIncrSecurity(SecurityMergeMap& map, const SecurityFileContent& file, int mode);

// The merge of a previous full master and an incremental file, on texts:
// returns the rows of the merged table (deleted indices included) and writes
// the new file text into `fileText`. Used by UpdateIncrementalSecurity.
struct MergedMaster {
    SecurityRows rows;
    std::string fileText;
    bool extended = false;
    int previousRead = 0;    // records of the previous file taken (not DEL/SUSP)
    int incrementalRead = 0; // records of the incremental file that are not DEL
};
MergedMaster MergeSecurityMaster(const SecurityFileContent& previous, const SecurityFileContent& incremental);
