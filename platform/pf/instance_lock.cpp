#include "pf/instance_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace pf {

std::unique_ptr<InstanceLock> InstanceLock::tryAcquire(const std::filesystem::path& lockDir, std::string_view name)
{
    std::string fileName(name);
    for (char& c : fileName)
        if (c == '/' || c == '\0')
            c = '_';
    if (fileName.empty() || fileName == "." || fileName == "..")
        fileName = "_" + fileName;
    std::filesystem::path path = lockDir / (fileName + ".lock");

    int fd;
    do
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return nullptr;
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd, std::move(path)));
}

InstanceLock::~InstanceLock()
{
    // The file stays: removing it would let a third process lock a new file
    // while a second one still holds the old one.
    ::close(m_fd);
}

} // namespace pf
