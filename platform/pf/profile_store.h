#pragma once
// The application profile: sections of named integers, texts and byte blobs in
// one INI file (the program keeps it in Config/). Every change is saved at once
// with an atomic replace, so a killed run leaves the last saved state. Section
// and key names compare without regard to case, as profile names always have.
// All members may be called from any thread.
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pf {

class ProfileStore {
public:
    // Loads the file when it exists; a missing or unreadable file is an empty
    // profile. Lines that are neither a section nor a key are skipped.
    explicit ProfileStore(std::filesystem::path iniFile);

    const std::filesystem::path& path() const { return m_path; }

    int getInt(std::string_view section, std::string_view key, int fallback = 0) const;
    std::string getText(std::string_view section, std::string_view key, std::string_view fallback = {}) const;
    // The bytes stored by setBlob; nullopt when missing or not valid hex.
    std::optional<std::string> getBlob(std::string_view section, std::string_view key) const;
    bool contains(std::string_view section, std::string_view key) const;

    // Each setter saves the file; false when saving failed (the value is kept
    // in memory and goes out with the next successful save).
    bool setInt(std::string_view section, std::string_view key, int value);
    bool setText(std::string_view section, std::string_view key, std::string_view value);
    bool setBlob(std::string_view section, std::string_view key, std::string_view bytes);
    // Removes one key; true when the file is saved (or nothing had to change).
    bool remove(std::string_view section, std::string_view key);

private:
    struct Entry {
        std::string key;
        std::string value; // unescaped
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };

    const std::string* findLocked(std::string_view section, std::string_view key) const;
    bool storeLocked(std::string_view section, std::string_view key, std::string value);
    bool saveLocked() const;

    const std::filesystem::path m_path;
    mutable std::mutex m_mutex;
    std::vector<Section> m_sections; // guarded by m_mutex
};

} // namespace pf
