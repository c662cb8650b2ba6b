#include "app/SideDownloads.h"

#include "app/DialogExchange.h"
#include "app/base/SeException.h"

#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/ProgressReport.h"
#include "app/base/TextFormat.h"

#include "server/FileDownloads.h"
#include "server/RequestServer.h"

#include "pf/clock.h"
#include "pf/files.h"
#include "pf/profile_store.h"
#include "ui/ui_thread.h"

#include <atomic>
#include <limits>
#include <memory>

#include <optional>
#include <string>

namespace side_downloads_detail {
namespace {

// Size and modification time "%d%m%Y%H%M%S" of a file; nullopt when missing.
std::optional<std::string> fileStamp(const std::filesystem::path& path)
{
    const int64_t size = pf::files::size(path);
    const std::optional<int64_t> modified = pf::files::stampTime(path);
    if (size < 0 || !modified)
        return std::nullopt;
    const pf::LocalTime t = pf::Clock::local(*modified * 1000);
    return formatText("%ld%02d%02d%04d%02d%02d%02d", static_cast<long>(size), t.day, t.month, t.year, t.hour, t.minute,
                      t.second);
}

} // namespace
} // namespace side_downloads_detail

bool RunOffUiThread(const char* name, const std::function<void()>& work)
{
    auto finished = std::make_shared<std::atomic<bool>>(false);
    const auto guarded = [name, &work, finished] {
        try {
            work();
        } catch (...) {
            LogCaught(name);
        }
        finished->store(true);
    };
    DialogExchange step([](bool) {});
    if (!step.run([&guarded](ExchangeCancel&) { guarded(); }, [] {})) {
        guarded();
        return false;
    }
    // No time limit: each download has its own, and a step the user must
    // answer (a box) waits for the answer.
    ui::UiThread::pumpUntil([&finished] { return finished->load(); }, std::numeric_limits<int>::max());
    return true; // the exchange's thread is collected as `step` goes
}

int CheckMFCDLLThread()
{
    try {
        WriteLog(3, "Entry CheckMFCDLLThread ");
        const pf::Paths paths = ProgramPaths();
        if (!pf::files::exists(paths.sound() / "alert.wav")) {
            ShowProgressMessage("Downloading Sound Files");
            std::string body;
            long length = 0;
            const int status = DownLoadFile(DownloadHost(), 80, "/alert.wav", "", body, length);
            if (status == 200 && !pf::files::writeAtomic(paths.root() / "alert.wav", body))
                WriteLog(0, "Unable to write alert.wav");
        }
        // The runtime library of transaction code 16 exists only for Windows.
        WriteLog(3, "MFC Dlls are not needed on this system: not downloaded");
        WriteLog(3, "Exit CheckMFCDLLThread");
    } catch (...) {
        WriteLog(0, "Exception in CheckMFCDLLThread");
    }
    return 0;
}

int CheckOCXThread()
{
    try {
        WriteLog(3, "Entry CheckOCXThread ");
        // The chart control of transaction code 17 is built into the program.
        WriteLog(3, "Charting Tool is part of the program: not downloaded");
        WriteLog(3, "Exit CheckOCXThread");
    } catch (...) {
        WriteLog(0, "Exception in CheckOCXThread");
    }
    return 0;
}

int CheckRegistryforOCX()
{
    return 0;
}

int SetBrowserFeatureControl(const char* /*key*/, unsigned long /*value*/)
{
    return 0;
}

void DownloadLoginImage(const std::filesystem::path& localPath, pf::ProfileStore& profile)
{
    try {
        if (const std::optional<std::string> stamp = side_downloads_detail::fileStamp(localPath)) {
            if (*stamp == profile.getText("Vortanex", "loginimage")) {
                WriteLog(0, "Login image stamp :" + *stamp);
                return;
            }
        }
        pf::files::ensureDir(localPath.parent_path());
        const std::string host = DownloadHost();
        WriteLog(0, formatText("downloading login image from %s", host.c_str()));
        std::string body;
        long length = 0;
        const int status = DownLoadFile(host, 80, formatText("/%s", localPath.filename().c_str()), "", body, length);
        if (status != 200 || body.empty())
            return;
        if (!pf::files::writeAtomic(localPath, body)) {
            WriteLog(0, "Unable to write the login image " + localPath.string());
            return;
        }
        WriteLog(0, "download of login image complete");
        if (const std::optional<std::string> stamp = side_downloads_detail::fileStamp(localPath)) {
            WriteLog(0, "Login image stamp :" + *stamp);
            profile.setText("Vortanex", "loginimage", *stamp);
        }
    } catch (...) {
        WriteLog(0, "Exception in DownloadLoginImage");
    }
}
