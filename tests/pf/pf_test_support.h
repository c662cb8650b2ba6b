#pragma once
// Small helpers of the platform-layer tests: a temporary folder per test and a
// capture of the layer's log lines.
#include "pf/log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace pftest {

class TempDir {
public:
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/vx_pf_XXXXXX";
        if (::mkdtemp(templ.data()))
            m_path = templ;
        EXPECT_FALSE(m_path.empty()) << "mkdtemp failed";
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Installs a sink that keeps every line; restores "no sink" when destroyed.
class LogCapture {
public:
    LogCapture()
    {
        pf::setLogSink([this](int level, std::string_view text) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(std::to_string(level) + " " + std::string(text));
        });
    }
    ~LogCapture() { pf::setLogSink({}); }
    std::vector<std::string> lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines; // guarded by m_mutex
};

} // namespace pftest
