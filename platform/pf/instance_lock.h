#pragma once
// One running instance per name (the terminal uses one per user id). The lock
// is an flock on "<lockDir>/<name>.lock": the kernel releases it when the
// holder dies, so a crashed run never blocks the next start. flock locks
// belong to the open file, so a second acquisition in the same process fails
// as well.
#include <filesystem>
#include <memory>
#include <string_view>

namespace pf {

class InstanceLock {
public:
    // The held lock, or null when another holder has it (or the lock file
    // cannot be opened). Characters that would leave lockDir become '_'.
    static std::unique_ptr<InstanceLock> tryAcquire(const std::filesystem::path& lockDir, std::string_view name);

    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    const std::filesystem::path& path() const { return m_path; }

private:
    InstanceLock(int fd, std::filesystem::path path) : m_fd(fd), m_path(std::move(path)) {}

    int m_fd;
    std::filesystem::path m_path;
};

} // namespace pf
