#pragma once
// The side files that start-up fetches when they are missing (the alert
// sound, the login picture) and the checks that stood for the Windows-only
// runtime library, chart control and browser settings, which have nothing to
// do here; and the runner that keeps the start-up's downloads off the UI
// thread.
#include <filesystem>
#include <functional>

namespace pf {
class ProfileStore;
}

// Runs work on a thread of its own and serves the UI thread's events until it
// has ended: the progress dialog repaints and shows the step, timers fire and
// the boxes the work asks for are shown, while the start-up goes on only after
// it, so its steps keep their order. UI thread. False when no thread could be
// started; the work has then run here.
bool RunOffUiThread(const char* name, const std::function<void()>& work);

// Any thread (the start-up runs them off the UI thread).
// Fetches "alert.wav" into the program folder when Data/Sound lacks it (the
// next start moves it there). Returns 0.
int CheckMFCDLLThread();
// The chart control is part of the program: nothing to fetch. Returns 0.
int CheckOCXThread();
// 0: the chart control is always available.
int CheckRegistryforOCX();
// No browser settings to write. Returns 0.
int SetBrowserFeatureControl(const char* key, unsigned long value);

// Fetches the login picture to `localPath` unless the file there still has
// the stamp (size and modification time) recorded in the profile's
// "Vortanex"/"loginimage" after the last download.
void DownloadLoginImage(const std::filesystem::path& localPath, pf::ProfileStore& profile);
