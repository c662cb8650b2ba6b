#pragma once
// The application profile: sections of named integers, texts and byte blobs in
// one INI file (the program keeps it in Config/). Every change is saved at once
// with an atomic replace, so a killed run leaves the last saved state. Section
// and key names compare without regard to case, as profile names always have.
// All members may be called from any thread.
//
// Several terminals may share one program folder and so one file. A save
// writes only what this store changed: under a lock on "<file>.lock" it reads
// the file as it is on disk, applies this store's changes and replaces it.
// The store reads what it loaded plus its own changes (another terminal's
// values count from the next start). Every key this store sets or removes is
// written, even with the value it loaded: the user's choice holds over what
// another terminal wrote meanwhile.
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
    // The keys of a section, as held (loaded plus this store's changes).
    std::vector<std::string> keys(std::string_view section) const;

    // Each setter saves the file; false when saving failed (the value is kept
    // in memory and goes out with the next successful save).
    bool setInt(std::string_view section, std::string_view key, int value);
    bool setText(std::string_view section, std::string_view key, std::string_view value);
    bool setBlob(std::string_view section, std::string_view key, std::string_view bytes);
    // Removes one key; true when the file is saved.
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
    // A change of this store not yet in the file; no value is a removal.
    struct Change {
        std::string section;
        std::string key;
        std::optional<std::string> value;
    };

    static std::vector<Section> parse(std::string_view text);
    static void apply(std::vector<Section>& sections, const Change& change);
    const std::string* findLocked(std::string_view section, std::string_view key) const;
    bool storeLocked(std::string_view section, std::string_view key, std::string value);
    void noteChangeLocked(Change change);
    bool saveLocked();

    const std::filesystem::path m_path;
    mutable std::mutex m_mutex;
    std::vector<Section> m_sections; // guarded by m_mutex
    std::vector<Change> m_pending;   // guarded by m_mutex; in the order made
};

} // namespace pf
