#include "pf/paths.h"

#include "pf/files.h"

#include <system_error>

namespace pf {

Paths::Paths(std::filesystem::path root)
    : m_root(std::filesystem::absolute(std::move(root)).lexically_normal())
{
}

std::filesystem::path Paths::spec(std::string_view relative) const
{
    std::filesystem::path out = m_root;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = relative.size();
        std::string_view part = relative.substr(start, end - start);
        if (!part.empty() && part != "." && part != "..")
            out /= std::string(part);
        start = end + 1;
    }
    return out;
}

bool Paths::ensureFolders() const
{
    bool ok = true;
    // The folders that hold settings, secrets, logs and messages are made the
    // user's alone even when an older version created them open to others.
    for (const auto& dir : {logs(), data(), config()})
        ok = files::ensurePrivateDir(dir) && ok;
    for (const auto& dir : {sound(), graphics(), study(), comp(), docs()})
        ok = files::ensureDir(dir) && ok;
    return ok;
}

} // namespace pf
