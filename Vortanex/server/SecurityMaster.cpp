#include "server/SecurityMaster.h"

#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "server/ServerAccess.h"

#include "pf/files.h"
#include "pf/lzo.h"
#include "ui/prompter.h"
#include "app/base/TextFormat.h"

#include <cstdio>
#include <exception>
#include <future>
#include <system_error>
#include <thread>

// File-local helpers.
namespace {
namespace security_master_detail {

// A line that carries file or server text is cut to this many characters, so one
// oversized field cannot flood the log.
constexpr std::size_t kLineLimit = 511;

void tell(const std::string& text)
{
    MsgBoxInfo(text);
}

} // namespace security_master_detail
} // namespace

bool SecurityStamp::parse(std::string_view text, SecurityStamp& out)
{
    const std::string s(text.substr(0, 127));
    SecurityStamp st;
    if (std::sscanf(s.c_str(), "%d-%d-%ld-%ld", &st.incrementalNumber, &st.logNumber, &st.dueSize, &st.fullSize) != 4)
        return false;
    out = st;
    return true;
}

int LoadIncrSecurity(SecurityMergeMap& map, const SecurityFileContent& file, int mode)
{
    int read = 0;
    for (const SecurityRecord& rec : file.rows) {
        if (mode == 1 && (rec.status == "DEL" || rec.status == "SUSP"))
            continue;
        if (!(rec.status == "DEL"))
            ++read;
        const std::string key(rec.symbol.view());
        auto [first, last] = map.equal_range(key);
        bool found = false;
        for (auto it = first; it != last; ++it) {
            SecurityRecord& e = it->second;
            if (e.market_exchange == rec.market_exchange.view() && e.inst_type == rec.inst_type.view() &&
                e.token == rec.token) {
                e = rec;
                found = true;
                break;
            }
        }
        if (!found)
            map.emplace_hint(last, key, rec); // after the entries of the same symbol
    }
    return read;
}

int LoadIncrSecurity(SecurityMergeMap& map, const std::string& fileName, std::string& date, int mode)
{
    try {
        const SecurityFileContent c = LoadSecurity(fileName, SecurityReading::Incremental);
        date = c.header.date;
        return LoadIncrSecurity(map, c, mode);
    } catch (const std::exception&) {
        WriteLog(0, "Exception in LoadIncrSecurity");
        return 0;
    }
}

MergedMaster MergeSecurityMaster(const SecurityFileContent& previous, const SecurityFileContent& incremental)
{
    MergedMaster out;
    SecurityMergeMap map;
    out.previousRead = LoadIncrSecurity(map, previous, 1);
    out.incrementalRead = LoadIncrSecurity(map, incremental, 2);
    out.extended = previous.extended || incremental.extended;

    // Sized from the records present, not from the headers' counts.
    out.rows.reserve(map.size());
    for (auto& [key, e] : map) {
        // Deleted indices stay in the table for this run (open views may
        // name them) but leave the file; rows without a key reach neither.
        if ((e.status == "DEL" && !(e.inst_type == "IN")) || !e.hasDisplayKey())
            continue;
        SecurityRecord& r = out.rows.emplace_back(std::move(e));
        r.ref_rate.store(0, std::memory_order_relaxed);
        r.extras.reset();
        // Old-layout rows carry no watch token; the rewritten file must, or
        // they could not be subscribed after the next load.
        if (r.wtoken == 0)
            r.wtoken = DeriveWatchToken(r);
    }
    map.clear();

    // The header counts the records the file holds (deleted indices stay in
    // the table only): a master with fewer records than its count is damaged.
    std::string records;
    int written = 0;
    for (const SecurityRecord& r : out.rows)
        if (!(r.status == "DEL")) {
            records += FormatSecurityRecord(r, out.extended);
            ++written;
        }
    out.fileText = formatTextCapped(security_master_detail::kLineLimit, "%s-1-%d~", incremental.header.date.c_str(), written);
    out.fileText += records;
    return out;
}

DownloadedMaster LoadDownloadedMaster(std::string_view text, std::shared_ptr<const void> keep,
                                      const std::filesystem::path& file, SecurityRows room)
{
    DownloadedMaster out;
    // The write waits on the disk (the file is flushed before it replaces
    // the old one) and the parse on the processor: they overlap, and the
    // table is used without waiting for the disk. The text stays untouched
    // until both have finished.
    // The write lets go of the text as soon as it ends: the future that
    // reports it is kept for the session and holds this callable, and the
    // text is the whole unpacked master. (The parse below holds it through
    // `keep` itself.)
    auto write = [text, keep, file]() mutable {
        bool written = false;
        try {
            if (file.has_parent_path())
                pf::files::ensureDir(file.parent_path());
            written = pf::files::writeAtomic(file, text);
            if (!written)
                WriteLog(0, formatTextCapped(security_master_detail::kLineLimit, "Unable to write %s", file.string().c_str()));
        } catch (const std::exception&) {
            written = false;
        }
        keep.reset();
        return written;
    };
    try {
        out.written = std::async(std::launch::async, std::move(write));
    } catch (const std::system_error&) {
        // No thread to spare: write first, then parse.
        std::promise<bool> done;
        done.set_value(write());
        out.written = done.get_future();
    }
    SecurityFileContent c = LoadSecurityText(text, std::move(room));
    auto table = std::make_shared<SecurityTable>();
    table->build(std::move(c.rows), SecurityTable::Build::Full, c.extended);
    out.table = std::move(table);
    return out;
}

SecurityMaster::SecurityMaster(const pf::Paths& paths, ServerAccess& server, std::string securityHost)
    : m_paths(paths)
    , m_server(server)
    , m_host(std::move(securityHost))
{
}

void SecurityMaster::progress(std::string_view text) const
{
    if (m_progress)
        m_progress(text);
}

bool SecurityMaster::finishWriting()
{
    if (!m_fileWrite.valid())
        return true;
    try {
        return m_fileWrite.get();
    } catch (...) {
        return false; // the write failed before it could say so
    }
}

int SecurityMaster::prepareStartup(const SecurityStamp& stamp)
{
    finishWriting();
    incrementalNumber = stamp.incrementalNumber;
    expectedSize = stamp.dueSize;
    // A start that loads the local master parses this text
    // (GetSecurityThread); when nothing is due, its rows' room is mapped
    // while the file is read.
    m_localRows = stamp.incrementalNumber == 0 && stamp.dueSize == 0
                      ? SecurityRowsAhead(pf::files::readHead(fullFile(), kSecurityHeadBytes))
                      : SecurityRowsAhead();
    m_localText = pf::files::readAll(fullFile());
    const std::optional<std::string>& text = m_localText;
    localFileDate.clear();
    if (text) {
        const std::string_view t(*text);
        localFileDate = std::string(t.substr(0, std::min(t.find_first_of("-~"), size_t{10})));
    }
    // A master cut short (fewer records than its header counts, or a last
    // record without its end) would leave the securities after the cut
    // missing for the day: it is replaced by the full file, as a missing one.
    if (text && text->find('~') != std::string::npos && !SecurityTextLooksWhole(*text)) {
        WriteLog(0, "The local master is damaged; the full file is downloaded");
        prepareFullDownload(stamp);
        return 1;
    }
    // An increment changes a master: without a readable one (a fresh
    // installation, a removed file) it would become the whole master. The
    // full file is downloaded instead.
    if (stamp.incrementalNumber != 0 && (!text || text->find('~') == std::string::npos)) {
        WriteLog(0, formatText("No readable local master for increment %d; the full file is downloaded",
                               stamp.incrementalNumber));
        prepareFullDownload(stamp);
        return 1;
    }
    return (stamp.incrementalNumber != 0 || stamp.dueSize != 0 || !text) ? 1 : 0;
}

void SecurityMaster::prepareFullDownload(const SecurityStamp& stamp)
{
    incrementalNumber = 0;
    expectedSize = stamp.fullSize;
}

bool SecurityMaster::unpack(const std::string& packed)
{
    progress("Uncompressing Security Information");
    if (!pf::lzo::init()) {
        security_master_detail::tell("Unable to download latest Security File");
        return false;
    }
    try {
        pf::lzo::Bytes out;
        const auto* in = reinterpret_cast<const unsigned char*>(packed.data());
        // A full master's rows get their room while the archive unpacks.
        SecurityRowsAhead rows;
        if (incrementalNumber == 0) {
            unsigned char head[kSecurityHeadBytes];
            const size_t got = pf::lzo::inflateHead(in, packed.size(), head, sizeof head);
            rows = SecurityRowsAhead(std::string_view(reinterpret_cast<const char*>(head), got));
        }
        if (!pf::lzo::inflate(in, packed.size(), out, packed.size() * 20)) {
            // A corrupt archive leaves the local files as they were.
            WriteLog(0, "LZO Ret <-1>");
            return false;
        }
        if (incrementalNumber == 0) {
            // The full master is loaded from memory; its file is written
            // after (the load does not wait to read it back).
            m_downloadedFull = std::move(out);
            m_downloadedRows = std::move(rows);
            progress("Uncompressed Security Info Successfully");
            return true;
        }
        const auto target = incrementalFile();
        pf::files::ensureDir(m_paths.comp());
        if (!pf::files::writeAtomic(target, std::string_view(reinterpret_cast<const char*>(out.data()), out.size()))) {
            WriteLog(0, formatTextCapped(security_master_detail::kLineLimit, "Unable to write %s", target.string().c_str()));
            return false;
        }
        progress("Uncompressed Security Info Successfully");
        return true;
    } catch (const std::exception&) {
        WriteLog(0, "Exception while decompressing security info");
        return false;
    }
}

int SecurityMaster::GetSecurityThread(int kind)
{
    finishWriting();
    try {
        WriteLog(3, formatText("Entry GetSecurityThread :%d", kind));
        if (kind == 1) {
            // The file may change: what prepareStartup read is not used.
            m_localText.reset();
            m_localRows = SecurityRowsAhead();
            // Only an incremental file that arrived whole and was unpacked in
            // this run is merged: a merge with a missing or stale one would
            // rewrite the master without the date of its header and without
            // the records the lost increment changed.
            bool incrementReady = false;
            progress("Downloading Security Information");
            const std::string path = incrementalNumber != 0 ? formatText("/security/security_%d.lzo", incrementalNumber)
                                                            : std::string("/security/security.lzo");
            WriteLog(0, formatTextCapped(security_master_detail::kLineLimit, "Downloading [%s] from %s", path.c_str(), m_host.c_str()));
            const ServerReply reply = m_server.downLoadFile(m_host, 80, path);
            if (reply.status == 200) {
                progress("Downloaded Security Info Successfully");
                const long len = static_cast<long>(reply.body.size());
                WriteLog(0, formatText("Security Info :Data Len <%ld> SecFileSize %ld", len, expectedSize));
                if (len != 0) {
                    if (expectedSize < 1) {
                        security_master_detail::tell("Security File Size Mismatch. Closing the Application.");
                        return -1;
                    }
                    if (len != expectedSize) {
                        const std::string question =
                            "Security File Size Mismatch. Do you want to continue with Security File Dated :" +
                            localFileDate;
                        if (MsgBoxStyle(question, 36) != ui::Yes)
                            return -1;
                        incrementalNumber = 0; // the local full file is loaded
                    } else {
                        incrementReady = unpack(reply.body) && incrementalNumber != 0;
                    }
                }
            } else if (reply.status == 407) {
                security_master_detail::tell("Proxy Authentication Failed");
            } else {
                security_master_detail::tell(
                    formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", reply.status));
            }
            progress("Downloaded Security Info Successfully");
            if (incrementReady) {
                UpdateIncrementalSecurity();
            } else {
                if (incrementalNumber != 0)
                    WriteLog(0, formatText("Incremental security file %d not received; the local master is loaded "
                                           "unchanged",
                                           incrementalNumber));
                UpdateFullSecurity();
            }
        } else {
            progress("Uploading Security Info from file");
            UpdateFullSecurity();
        }
        progress("Updated Security Information Successfully");
        WriteLog(3, "Exit GetSecurityThread");
    } catch (const std::exception&) {
        WriteLog(0, "Exception in GetSecurityThread");
    }
    return 0;
}

void SecurityMaster::install(SecurityRows rows, SecurityTable::Build kind, bool extended)
{
    auto table = std::make_shared<SecurityTable>();
    table->build(std::move(rows), kind, extended);
    m_table = table;
    SecurityTable::publish(std::move(table));
}

void SecurityMaster::UpdateFullSecurity()
{
    finishWriting();
    try {
        if (!m_downloadedFull.empty()) {
            auto downloaded = std::make_shared<const pf::lzo::Bytes>(std::move(m_downloadedFull));
            m_downloadedFull = {};
            const std::string_view text(reinterpret_cast<const char*>(downloaded->data()), downloaded->size());
            // Next start's master is written while the table is built and
            // after it is in use; a crash while writing leaves the previous
            // one.
            DownloadedMaster loaded = LoadDownloadedMaster(text, downloaded, fullFile(), m_downloadedRows.take());
            m_fileWrite = std::move(loaded.written);
            m_table = loaded.table;
            SecurityTable::publish(std::move(loaded.table));
            return;
        }
        SecurityFileContent c;
        if (m_localText) {
            const std::optional<std::string> text = std::move(m_localText);
            m_localText.reset();
            c = LoadSecurityText(*text, m_localRows.take());
        } else {
            c = LoadSecurity(fullFile().string(), SecurityReading::Full);
        }
        install(std::move(c.rows), SecurityTable::Build::Full, c.extended);
    } catch (const std::exception&) {
        WriteLog(0, "Exception in UpdateFullSecurity");
    }
}

void SecurityMaster::UpdateIncrementalSecurity()
{
    finishWriting();
    try {
        const SecurityFileContent prev = LoadSecurity(fullFile().string(), SecurityReading::Incremental);
        const SecurityFileContent incr = LoadSecurity(incrementalFile().string(), SecurityReading::Incremental);
        if (!prev.opened) {
            // An increment alone is no master: nothing is written over it.
            WriteLog(0, "Security Prev File cannot be read; the increment is not merged");
            UpdateFullSecurity();
            return;
        }
        if (!incr.opened) {
            // Nothing to merge: the master stays as it is, byte for byte.
            WriteLog(0, "Security Incr File cannot be read; the local master is loaded unchanged");
            UpdateFullSecurity();
            return;
        }
        MergedMaster m = MergeSecurityMaster(prev, incr);
        WriteLog(0, formatTextCapped(security_master_detail::kLineLimit, "Security Prev File : size %d, ctr %d, date %s",
                                     static_cast<int>(prev.rows.size()), m.previousRead, prev.header.date.c_str()));
        WriteLog(0, formatTextCapped(security_master_detail::kLineLimit, "Security Incr File: size %d, ctr %d, date %s",
                                     static_cast<int>(incr.rows.size()), m.incrementalRead, incr.header.date.c_str()));
        // A crash while writing must leave the previous master intact.
        if (!pf::files::writeAtomic(fullFile(), m.fileText))
            WriteLog(0, "Unable to rewrite security.lst");
        install(std::move(m.rows), SecurityTable::Build::Merge, m.extended);
    } catch (const std::exception&) {
        WriteLog(0, "Exception in UpdateIncrementalSecurity");
    }
}
