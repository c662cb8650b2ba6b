#include "app/base/ProgramPaths.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <string>

namespace {

std::mutex g_pathsMutex;
pf::Paths g_paths; // guarded by g_pathsMutex

} // namespace

pf::Paths ProgramPaths()
{
    std::lock_guard lock(g_pathsMutex);
    return g_paths;
}

void SetProgramPaths(const pf::Paths& paths)
{
    std::lock_guard lock(g_pathsMutex);
    g_paths = paths;
}

bool IsPlainFileName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

std::filesystem::path UserFilePath(const std::filesystem::path& folder, std::string_view fileName)
{
    const std::filesystem::path exact = folder / std::string(fileName);
    std::error_code ec;
    if (std::filesystem::exists(exact, ec))
        return exact;
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); };
    const auto sameName = [&](const std::string& name) {
        return name.size() == fileName.size()
            && std::equal(name.begin(), name.end(), fileName.begin(),
                          [&](char a, char b) { return lower(static_cast<unsigned char>(a)) == lower(static_cast<unsigned char>(b)); });
    };
    std::filesystem::path found;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // The first by name when several differ only in case: the same one every time.
        if (sameName(name) && (found.empty() || name < found.filename().string()))
            found = it->path();
    }
    return found.empty() ? exact : found;
}

namespace {

std::mutex g_knownMutex;
std::set<std::string> g_knownUserFiles; // guarded by g_knownMutex

} // namespace

void NoteUserFileKnown(const std::filesystem::path& path)
{
    std::lock_guard lock(g_knownMutex);
    g_knownUserFiles.insert(path.lexically_normal().string());
}

bool MayWriteUserFile(const std::filesystem::path& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return true;
    std::lock_guard lock(g_knownMutex);
    return g_knownUserFiles.count(path.lexically_normal().string()) != 0;
}
