#pragma once
// An append-only line file (logs, message files). Each line reaches the file
// by one write(2) on an O_APPEND descriptor, so lines from several threads or
// processes never interleave and a crash loses at most the line being written.
#include <filesystem>
#include <string_view>

namespace pf {

class AppendFile {
public:
    AppendFile() = default;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    ~AppendFile();

    // Opens (creating with mode 0600, and narrowing an existing file to it)
    // for appending; closes a file already open. durable = every line is flushed to disk before appendLine returns.
    bool open(const std::filesystem::path& path, bool durable = false);
    // Writes the line as it is (the caller supplies any line end). Not for
    // concurrent use with open/close; concurrent appendLine calls are fine.
    bool appendLine(std::string_view line);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    bool m_durable = false;
};

} // namespace pf
