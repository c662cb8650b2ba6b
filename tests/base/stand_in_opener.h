#pragma once
// A stand-in xdg-open first on the PATH for as long as it lives: each call
// writes its arguments as one line of a file, and copies what its first
// argument names (a page) with that file's mode, so a test sees what the
// desktop was handed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace opener {

class StandInOpener {
public:
    StandInOpener()
    {
        const char* base = std::getenv("TMPDIR");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/vx_opener_XXXXXX";
        if (::mkdtemp(templ.data()))
            m_dir = templ;
        EXPECT_FALSE(m_dir.empty()) << "mkdtemp failed";
        const auto script = m_dir / "xdg-open";
        const std::string d = m_dir.string();
        std::ofstream(script) << "#!/bin/sh\n"
                              << "if [ -f \"$1\" ]; then n=$(ls '" << d << "' | grep -c '^page'); "
                              << "cp \"$1\" '" << d << "/page'$n; stat -c %a \"$1\" > '" << d << "/mode'$n; fi\n"
                              << "echo \"$*\" >> '" << d << "/calls'\n";
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        const char* path = std::getenv("PATH");
        m_oldPath = path ? path : "";
        ::setenv("PATH", (d + ":" + m_oldPath).c_str(), 1);
    }
    ~StandInOpener()
    {
        ::setenv("PATH", m_oldPath.c_str(), 1);
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    StandInOpener(const StandInOpener&) = delete;
    StandInOpener& operator=(const StandInOpener&) = delete;

    // The calls so far, one line of arguments each, after waiting
    // (generously) for `count` of them.
    std::vector<std::string> calls(size_t count) const
    {
        std::vector<std::string> out;
        for (int i = 0; i < 1000; ++i) {
            out.clear();
            std::ifstream in(m_dir / "calls");
            for (std::string line; std::getline(in, line);)
                out.push_back(line);
            if (out.size() >= count)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return out;
    }
    // The copy of the n-th page handed over (from 0) and its mode ("600").
    std::string page(int n) const { return text(m_dir / ("page" + std::to_string(n))); }
    std::string pageMode(int n) const
    {
        std::string mode = text(m_dir / ("mode" + std::to_string(n)));
        while (!mode.empty() && mode.back() == '\n')
            mode.pop_back();
        return mode;
    }

private:
    static std::string text(const std::filesystem::path& p)
    {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::filesystem::path m_dir;
    std::string m_oldPath;
};

} // namespace opener
