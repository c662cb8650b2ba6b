#include "pf/append_file.h"

#include "pf/files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pf {

AppendFile::~AppendFile()
{
    close();
}

bool AppendFile::open(const std::filesystem::path& path, bool durable)
{
    close();
    int fd;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, files::kPrivateFileMode);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    // Logs and message files are the user's alone, also one an older
    // version created readable by others.
    ::fchmod(fd, files::kPrivateFileMode);
    m_fd = fd;
    m_durable = durable;
    return true;
}

bool AppendFile::appendLine(std::string_view line)
{
    if (m_fd < 0)
        return false;
    // One write for the whole line; the loop only continues a short write
    // (a signal or a full disk), which regular files rarely give.
    while (!line.empty()) {
        const ssize_t n = ::write(m_fd, line.data(), line.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        line.remove_prefix(static_cast<size_t>(n));
    }
    return !m_durable || ::fdatasync(m_fd) == 0;
}

void AppendFile::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace pf
