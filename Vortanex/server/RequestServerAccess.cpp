#include "server/RequestServerAccess.h"

#include "server/ExchangeCancel.h"
#include "server/FileDownloads.h"
#include "server/RequestServer.h"

#include "app/base/LogWriter.h"

#include "pf/files.h"

namespace request_server_access_detail {
namespace {

// The seam counts an exchange that never got a status as 0.
int seamStatus(int status)
{
    return status < 0 ? 0 : status;
}

} // namespace
} // namespace request_server_access_detail

ServerReply RequestServerAccess::downLoadFile(const std::string& host, int port, const std::string& path)
{
    ServerReply out;
    long length = 0;
    out.status = request_server_access_detail::seamStatus(DownLoadFile(host, port, path, "", out.body, length));
    return out;
}

ServerReply RequestServerAccess::requestServer(int encryptType, int transCode, const std::string& text)
{
    ServerReply out;
    long length = 0;
    out.status = request_server_access_detail::seamStatus(RequestServer(encryptType, transCode, text, out.body, length));
    const std::filesystem::path file = DownloadTargetFile(transCode);
    if (!file.empty()) {
        out.body.clear();
        if (out.status == 200 && length > 0) {
            std::optional<std::string> bytes = pf::files::readAll(file);
            if (bytes && static_cast<long>(bytes->size()) == length) {
                out.body = std::move(*bytes);
            } else {
                WriteLog(0, "Unable to read back " + file.string());
                out.status = 0;
            }
        }
    }
    return out;
}

ServerReply RequestServerAccess::requestServerCancellable(int encryptType, int transCode, const std::string& text,
                                                          ExchangeCancel& cancel)
{
    if (!DownloadTargetFile(transCode).empty())
        return requestServer(encryptType, transCode, text);
    ServerReply out;
    long length = 0;
    out.status = request_server_access_detail::seamStatus(RequestServer(encryptType, transCode, text, out.body, length, &cancel));
    // A cancelled exchange is no reply at all.
    if (cancel.cancelled() && out.status != 200)
        out.status = 0;
    return out;
}
