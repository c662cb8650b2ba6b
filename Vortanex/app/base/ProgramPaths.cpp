#include "app/base/ProgramPaths.h"

#include <mutex>

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
