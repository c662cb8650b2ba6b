#pragma once
// The program folder and the fixed folders below it. Every file of the terminal
// is addressed from here by an absolute path; the process never changes its
// current directory.
#include <filesystem>
#include <string_view>

namespace pf {

class Paths {
public:
    Paths() = default;
    explicit Paths(std::filesystem::path root);

    const std::filesystem::path& root() const { return m_root; }
    std::filesystem::path logs() const { return m_root / "Logs"; }
    std::filesystem::path data() const { return m_root / "Data"; }
    std::filesystem::path sound() const { return m_root / "Data" / "Sound"; }
    std::filesystem::path graphics() const { return m_root / "Data" / "temp" / "Graphics"; }
    std::filesystem::path study() const { return m_root / "Data" / "Study"; }
    std::filesystem::path comp() const { return m_root / "Comp"; }
    std::filesystem::path config() const { return m_root / "Config"; }
    std::filesystem::path docs() const { return m_root / "Docs"; }

    // A Windows-style name relative to the program folder ("\\Data\\x.dat",
    // "Data\\x.dat" or "Data/x.dat") as an absolute path below the root.
    // Components "." and ".." are dropped so a name never leaves the root.
    std::filesystem::path spec(std::string_view relative) const;

    // Creates the fixed folders that are missing (mode 0700) and narrows the
    // existing Logs, Data and Config to 0700; false when one cannot be made.
    bool ensureFolders() const;

private:
    std::filesystem::path m_root;
};

} // namespace pf
