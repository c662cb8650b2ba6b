#include "server/FileDownloads.h"

#include "server/RequestServer.h"

#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/ProgressReport.h"
#include "app/base/SeException.h"
#include "app/base/TextFormat.h"

#include "MyAsync.h"

#include "pf/files.h"
#include "pf/http_call.h"
#include "pf/ui_guard.h"
#include "pf/lzo.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace file_downloads_detail {
namespace {

constexpr long kReadChunk = 10240;
constexpr int kMaxConnections = 50;

std::atomic<long> g_securityStep{0};

// A name beside the target that no other download uses at the same time.
std::filesystem::path temporaryName(const std::filesystem::path& target)
{
    static std::atomic<unsigned> counter{0};
    std::filesystem::path tmp = target;
    tmp += formatText(".part-%ld-%u", static_cast<long>(::getpid()), counter.fetch_add(1));
    return tmp;
}

const char* progressMessage(int transCode)
{
    switch (transCode) {
    case 1: return "Downloading Security Information";
    case 15: return "Downloading Category Information";
    case 16: return "Downloading MFC Dlls";
    case 17: return "Downloading Charting Tool";
    default: return nullptr; // 18 shows none
    }
}

} // namespace
} // namespace file_downloads_detail

void SetSecurityDownloadStep(long step)
{
    file_downloads_detail::g_securityStep = step;
}

long DecompressLZO(const unsigned char* in, unsigned char* out, long inLength, long capacity)
{
    if (!in || !out || inLength <= 0 || capacity <= 0)
        return 0;
    std::vector<unsigned char> unpacked;
    if (!pf::lzo::inflate(in, static_cast<size_t>(inLength), unpacked, static_cast<size_t>(capacity)))
        return 0;
    if (!unpacked.empty())
        std::memcpy(out, unpacked.data(), unpacked.size());
    return static_cast<long>(unpacked.size());
}

bool DecompressLZO(std::string_view packed, std::string& out)
{
    out.clear();
    if (packed.empty())
        return false;
    std::vector<unsigned char> unpacked;
    if (!pf::lzo::inflate(reinterpret_cast<const unsigned char*>(packed.data()), packed.size(), unpacked,
                          packed.size() * static_cast<size_t>(kLzoExpansionLimit)))
        return false;
    out.assign(reinterpret_cast<const char*>(unpacked.data()), unpacked.size());
    return true;
}

int DownLoadFile(const std::string& host, int port, const std::string& path, const std::string& query,
                 std::string& buffer, long& length, std::source_location where)
{
    const pf::uiguard::Section onNetwork(pf::uiguard::Kind::Network, "download " + path, where);
    int status = -1;
    buffer.clear();
    length = 0;
    try {
        const std::string user = ProxyUserName();
        const std::string password(FixedTextView(g_AppSettings.proxy_password));
        MyAsync client(&RootInternetSession(), g_ProxyInUse.load(), user.c_str(), password.c_str(),
                       file_downloads_detail::kMaxConnections);
        WriteLog(0, "File download started");
        status = static_cast<int>(client.SyncDirect(0, 0, port, "GET", host.c_str(), path.c_str(), query.c_str()));
        if (status == 200 || status == 407) {
            std::string body;
            unsigned char chunk[file_downloads_detail::kReadChunk + 1];
            for (;;) {
                const int n = client.ReadHttpData(chunk, file_downloads_detail::kReadChunk);
                if (n <= 0)
                    break;
                if (body.size() + static_cast<size_t>(n) > ReplyBodyLimit()) {
                    WriteLog(0, formatText("Download of %s larger than %ld bytes: refused", path.c_str(),
                                           static_cast<long>(ReplyBodyLimit())));
                    client.Close();
                    return kReplyTooLarge;
                }
                if (status == 200)
                    body.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(n));
            }
            if (const int error = client.ReadError(); error != 0) {
                WriteLog(
                    0, formatText("Internet Error :%d, Trans Code :%d, Msg :%s", error, 0, FailedStatusText(error)));
                client.Close();
                return error;
            }
            if (status == 200) {
                length = static_cast<long>(body.size());
                buffer = std::move(body);
            }
        } else {
            WriteLog(0,
                     formatText("Internet Error :%d, Trans Code :%d, Msg :%s", status, 0, FailedStatusText(status)));
        }
        client.Close();
    } catch (...) {
        WriteLog(0, "Exception in DownLoadFile");
        buffer.clear();
        length = 0;
    }
    return status;
}

std::filesystem::path DownloadTargetFile(int transCode)
{
    const std::filesystem::path comp = ProgramPaths().comp();
    switch (transCode) {
    case 1: return comp / "security.lzo";
    case 15: return comp / "category.lzo";
    case 16: return comp / "mfc42.lzo";
    case 17: return comp / "QuenmarkChartX.lzo";
    case 18: return comp / "services.lzo";
    default: return {};
    }
}

int DownloadByCode(int transCode, const std::string& verb, const std::string& host, int port,
                   const std::string& path, const std::string& query, std::string& reply, long& length)
{
    int status = -1;
    reply.clear();
    length = 0;
    const std::filesystem::path target = DownloadTargetFile(transCode);
    if (target.empty()) {
        WriteLog(0, formatText("No download file for Trans Code :%d", transCode));
        return -1;
    }
    const std::filesystem::path tmp = file_downloads_detail::temporaryName(target);
    std::error_code ec;
    try {
        pf::files::ensureDir(target.parent_path());
        std::ofstream file(tmp, std::ios::binary | std::ios::trunc);
        if (!file) {
            WriteLog(0, formatText("Unable to open download file [%s]", tmp.string().c_str()));
            return -1;
        }
        const std::string user = ProxyUserName();
        const std::string password(FixedTextView(g_AppSettings.proxy_password));
        MyAsync client(&RootInternetSession(), g_ProxyInUse.load(), user.c_str(), password.c_str(),
                       file_downloads_detail::kMaxConnections);
        // The file codes always GET; a request text travels as the query.
        (void)verb;
        status = static_cast<int>(client.SyncDirect(0, transCode, port, "GET", host.c_str(), path.c_str(),
                                                    query.c_str()));
        long received = 0;
        bool whole = false;
        if (status == 200 || status == 407) {
            const char* message = file_downloads_detail::progressMessage(transCode);
            const long step = transCode == 1 ? file_downloads_detail::g_securityStep.load() : 0;
            long threshold = step;
            unsigned char chunk[file_downloads_detail::kReadChunk + 1];
            for (;;) {
                const int n = client.ReadHttpData(chunk, file_downloads_detail::kReadChunk);
                if (n <= 0)
                    break;
                if (status != 200)
                    continue; // a 407 body is drained, never written
                if (static_cast<size_t>(received) + static_cast<size_t>(n) > ReplyBodyLimit()) {
                    WriteLog(0, formatText("Download of Trans Code :%d larger than %ld bytes: refused", transCode,
                                           static_cast<long>(ReplyBodyLimit())));
                    status = kReplyTooLarge;
                    break;
                }
                file.write(reinterpret_cast<const char*>(chunk), n);
                received += n;
                if (message)
                    ShowProgressMessage(message);
                while (step >= 1 && received >= threshold) {
                    threshold += step;
                    StepProgress();
                }
            }
            file.flush();
            const bool written = static_cast<bool>(file);
            if (const int error = client.ReadError(); error != 0) {
                WriteLog(0, formatText("Internet Error :%d, Trans Code :%d, Msg :%s", error, transCode,
                                       FailedStatusText(error)));
                status = error;
            } else if (status == 200 && !written) {
                WriteLog(0, formatText("Unable to write download file [%s]", tmp.string().c_str()));
                status = -1;
            }
            whole = status == 200;
        } else {
            WriteLog(0, formatText("Internet Error :%d, Trans Code :%d, Msg :%s", status, transCode,
                                   FailedStatusText(status)));
        }
        client.Close();
        file.close();
        if (whole) {
            std::filesystem::rename(tmp, target, ec);
            if (ec) {
                WriteLog(0, formatText("Unable to replace download file [%s] : %s", target.string().c_str(),
                                       ec.message().c_str()));
                status = -1;
            } else {
                length = received;
            }
        }
    } catch (...) {
        LogCaught("DownloadByCode");
    }
    std::filesystem::remove(tmp, ec);
    return status;
}
