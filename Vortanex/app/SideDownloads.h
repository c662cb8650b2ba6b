#pragma once
// The side files that start-up fetches when they are missing (the alert
// sound, the login picture) and the checks that stood for the Windows-only
// runtime library, chart control and browser settings, which have nothing to
// do here. UI thread, synchronous, under the start-up progress dialog.
#include <filesystem>

namespace pf {
class ProfileStore;
}

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
