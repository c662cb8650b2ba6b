#include "app/base/ProgressReport.h"

#include <mutex>

namespace {

// The lock keeps the dialog from going while a call is forwarded to it.
std::recursive_mutex g_progressMutex;
ProgressReporter* g_progress = nullptr; // guarded by g_progressMutex

} // namespace

void SetCurrentProgress(ProgressReporter* reporter)
{
    std::lock_guard lock(g_progressMutex);
    g_progress = reporter;
}

void ShowProgressMessage(std::string_view text)
{
    std::lock_guard lock(g_progressMutex);
    if (g_progress)
        g_progress->setProgressMessage(text);
}

void StepProgress()
{
    std::lock_guard lock(g_progressMutex);
    if (g_progress)
        g_progress->stepProgress();
}
