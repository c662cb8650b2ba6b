#include "pf/profile_store.h"

#include "pf/files.h"
#include "pf/log.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace pf {
namespace profile_store_detail {

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// Values may hold line breaks; they are written as \n and \r so that every
// entry stays on one line.
std::string escape(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string unescape(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

// A name must not break the line structure of the file.
bool validName(std::string_view name, bool isKey)
{
    if (trim(name).size() != name.size() || name.empty())
        return false;
    for (char c : name)
        if (c == '\n' || c == '\r' || c == ']' || (isKey && (c == '=' || c == '[' || c == ';' || c == '#')))
            return false;
    return true;
}

} // namespace profile_store_detail

ProfileStore::ProfileStore(std::filesystem::path iniFile) : m_path(std::move(iniFile))
{
    if (const auto text = files::readAll(m_path))
        m_sections = parse(*text);
}

std::vector<ProfileStore::Section> ProfileStore::parse(std::string_view text)
{
    std::vector<Section> sections;
    Section* current = nullptr;
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::string_view trimmed = profile_store_detail::trim(line);
        if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#')
            continue;
        if (trimmed.front() == '[') {
            const size_t close = trimmed.find(']');
            if (close == std::string_view::npos) {
                current = nullptr; // junk: its keys would land in the wrong section
                continue;
            }
            const std::string_view name = profile_store_detail::trim(trimmed.substr(1, close - 1));
            auto it = std::find_if(sections.begin(), sections.end(),
                                   [&](const Section& s) { return profile_store_detail::sameName(s.name, name); });
            if (it == sections.end()) {
                sections.push_back({std::string(name), {}});
                current = &sections.back();
            } else {
                current = &*it;
            }
            continue;
        }
        const size_t eq = line.find('=');
        if (!current || eq == std::string_view::npos)
            continue;
        const std::string_view key = profile_store_detail::trim(line.substr(0, eq));
        if (key.empty())
            continue;
        std::string value = profile_store_detail::unescape(line.substr(eq + 1));
        auto it = std::find_if(current->entries.begin(), current->entries.end(),
                               [&](const Entry& e) { return profile_store_detail::sameName(e.key, key); });
        if (it == current->entries.end())
            current->entries.push_back({std::string(key), std::move(value)});
        else
            it->value = std::move(value); // the later line wins, as when it was written last
    }
    return sections;
}

void ProfileStore::apply(std::vector<Section>& sections, const Change& change)
{
    auto s = std::find_if(sections.begin(), sections.end(),
                          [&](const Section& x) { return profile_store_detail::sameName(x.name, change.section); });
    if (s == sections.end()) {
        if (!change.value)
            return;
        sections.push_back({change.section, {}});
        s = std::prev(sections.end());
    }
    auto e = std::find_if(s->entries.begin(), s->entries.end(),
                          [&](const Entry& x) { return profile_store_detail::sameName(x.key, change.key); });
    if (!change.value) {
        if (e != s->entries.end())
            s->entries.erase(e);
    } else if (e == s->entries.end()) {
        s->entries.push_back({change.key, *change.value});
    } else {
        e->value = *change.value;
    }
}

const std::string* ProfileStore::findLocked(std::string_view section, std::string_view key) const
{
    for (const auto& s : m_sections) {
        if (!profile_store_detail::sameName(s.name, section))
            continue;
        for (const auto& e : s.entries)
            if (profile_store_detail::sameName(e.key, key))
                return &e.value;
    }
    return nullptr;
}

int ProfileStore::getInt(std::string_view section, std::string_view key, int fallback) const
{
    std::lock_guard lock(m_mutex);
    const std::string* value = findLocked(section, key);
    if (!value)
        return fallback;
    const std::string_view text = profile_store_detail::trim(*value);
    int result = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
    if (ec != std::errc{} || ptr != text.data() + text.size())
        return fallback;
    return result;
}

std::string ProfileStore::getText(std::string_view section, std::string_view key, std::string_view fallback) const
{
    std::lock_guard lock(m_mutex);
    const std::string* value = findLocked(section, key);
    return value ? *value : std::string(fallback);
}

std::optional<std::string> ProfileStore::getBlob(std::string_view section, std::string_view key) const
{
    std::string hex;
    {
        std::lock_guard lock(m_mutex);
        const std::string* value = findLocked(section, key);
        if (!value)
            return std::nullopt;
        hex = *value;
    }
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned byte = 0;
        const auto [ptr, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, byte, 16);
        if (ec != std::errc{} || ptr != hex.data() + i + 2)
            return std::nullopt;
        bytes += static_cast<char>(byte);
    }
    return bytes;
}

bool ProfileStore::contains(std::string_view section, std::string_view key) const
{
    std::lock_guard lock(m_mutex);
    return findLocked(section, key) != nullptr;
}

std::vector<std::string> ProfileStore::keys(std::string_view section) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& s : m_sections)
        if (profile_store_detail::sameName(s.name, section))
            for (const auto& e : s.entries)
                out.push_back(e.key);
    return out;
}

bool ProfileStore::setInt(std::string_view section, std::string_view key, int value)
{
    std::lock_guard lock(m_mutex);
    return storeLocked(section, key, std::to_string(value));
}

bool ProfileStore::setText(std::string_view section, std::string_view key, std::string_view value)
{
    std::lock_guard lock(m_mutex);
    return storeLocked(section, key, std::string(value));
}

bool ProfileStore::setBlob(std::string_view section, std::string_view key, std::string_view bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 0xF];
    }
    std::lock_guard lock(m_mutex);
    return storeLocked(section, key, std::move(hex));
}

bool ProfileStore::remove(std::string_view section, std::string_view key)
{
    std::lock_guard lock(m_mutex);
    // Gone from this copy is not gone from the file: another terminal may
    // have written the key since.
    noteChangeLocked({std::string(section), std::string(key), std::nullopt});
    return saveLocked();
}

bool ProfileStore::storeLocked(std::string_view section, std::string_view key, std::string value)
{
    if (!profile_store_detail::validName(section, false) || !profile_store_detail::validName(key, true)) {
        logLine(0, "ProfileStore: refused name [" + std::string(section) + "] " + std::string(key));
        return false;
    }
    // A value equal to the one loaded is still this process's choice: another
    // terminal may have changed the key in the file since.
    noteChangeLocked({std::string(section), std::string(key), std::move(value)});
    return saveLocked();
}

void ProfileStore::noteChangeLocked(Change change)
{
    apply(m_sections, change);
    // Only the last change of a key matters to the file.
    std::erase_if(m_pending, [&](const Change& c) {
        return profile_store_detail::sameName(c.section, change.section) && profile_store_detail::sameName(c.key, change.key);
    });
    m_pending.push_back(std::move(change));
}

namespace profile_store_detail {

// An exclusive flock on a file beside the profile, held while a save reads,
// merges and replaces it. The profile itself cannot carry the lock: the
// atomic replace gives it a new inode at every save. A holder that does not
// let go within about two seconds makes the save fail (the change stays
// pending) rather than hang the caller.
class SaveLock {
public:
    explicit SaveLock(const std::filesystem::path& profile)
    {
        std::filesystem::path lockPath = profile;
        lockPath += ".lock";
        do
            m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, files::kPrivateFileMode);
        while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0)
            return;
        for (int attempt = 0; attempt < 400; ++attempt) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
                m_held = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~SaveLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // closing releases the flock
    }
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;
    bool held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};

} // namespace profile_store_detail

bool ProfileStore::saveLocked()
{
    const profile_store_detail::SaveLock fileLock(m_path);
    if (!fileLock.held()) {
        logLine(0, "ProfileStore: cannot lock " + m_path.string() + " to save it");
        return false;
    }
    // Another terminal may have saved since this store last read the file:
    // its values are the base, this store's changes go on top.
    std::vector<Section> merged;
    if (const auto text = files::readAll(m_path)) {
        merged = parse(*text);
    } else if (files::exists(m_path)) {
        logLine(0, "ProfileStore: cannot read " + m_path.string() + " to save it");
        return false;
    }
    for (const Change& change : m_pending)
        apply(merged, change);

    std::string text;
    for (const auto& s : merged) {
        if (s.entries.empty())
            continue;
        text += '[' + s.name + "]\n";
        for (const auto& e : s.entries)
            text += e.key + '=' + profile_store_detail::escape(e.value) + '\n';
        text += '\n';
    }
    if (!files::writeAtomic(m_path, text)) {
        logLine(0, "ProfileStore: cannot save " + m_path.string());
        return false;
    }
    m_pending.clear();
    return true;
}

} // namespace pf
