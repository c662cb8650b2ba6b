#include "ui/grid_layout_state.h"

#include "pf/log.h"
#include "pf/profile_store.h"

#include <cstdint>
#include <cstring>

namespace ui {

namespace {

constexpr char kMagic[4] = {'V', 'X', 'G', 'L'};
constexpr uint32_t kMaxColumns = 1024;
constexpr uint32_t kMaxName = 4096;
constexpr const char* kKey = "GridLayout";

pf::ProfileStore* g_defaultStore = nullptr;

void putU32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

class Reader {
public:
    explicit Reader(std::string_view data) : m_data(data) {}
    bool u8(uint8_t& v)
    {
        if (m_pos + 1 > m_data.size())
            return false;
        v = uint8_t(m_data[m_pos++]);
        return true;
    }
    bool u32(uint32_t& v)
    {
        if (m_pos + 4 > m_data.size())
            return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(uint8_t(m_data[m_pos + size_t(i)])) << (8 * i);
        m_pos += 4;
        return true;
    }
    bool text(std::string& s, size_t n)
    {
        if (n > m_data.size() - m_pos)
            return false;
        s.assign(m_data.substr(m_pos, n));
        m_pos += n;
        return true;
    }
    bool atEnd() const { return m_pos == m_data.size(); }

private:
    std::string_view m_data;
    size_t m_pos = 0;
};

} // namespace

std::string GridLayoutState::encode() const
{
    std::string out(kMagic, 4);
    out += char(kVersion);
    putU32(out, uint32_t(names.size()));
    for (const std::string& n : names) {
        putU32(out, uint32_t(n.size()));
        out += n;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        const Column c = i < columns.size() ? columns[i] : Column{int(i), 0, false};
        putU32(out, uint32_t(c.visualIndex));
        putU32(out, uint32_t(c.width));
        out += char(c.hidden ? 1 : 0);
    }
    putU32(out, uint32_t(sortColumn));
    out += char(ascending ? 1 : 0);
    putU32(out, uint32_t(groupColumns.size()));
    for (int col : groupColumns)
        putU32(out, uint32_t(col));
    return out;
}

std::optional<GridLayoutState> GridLayoutState::decode(std::string_view blob)
{
    if (blob.size() < 5 || std::memcmp(blob.data(), kMagic, 4) != 0)
        return std::nullopt;
    const int version = uint8_t(blob[4]);
    if (version != 1 && version != kVersion)
        return std::nullopt;
    Reader r(blob.substr(5));
    GridLayoutState s;
    uint32_t n = 0;
    if (!r.u32(n) || n > kMaxColumns)
        return std::nullopt;
    s.names.resize(n);
    for (std::string& name : s.names) {
        uint32_t len = 0;
        if (!r.u32(len) || len > kMaxName || !r.text(name, len))
            return std::nullopt;
    }
    s.columns.resize(n);
    for (Column& c : s.columns) {
        uint32_t visual = 0, width = 0;
        uint8_t hidden = 0;
        if (!r.u32(visual) || !r.u32(width) || !r.u8(hidden))
            return std::nullopt;
        if (visual >= n || width > 100000)
            return std::nullopt;
        c = Column{int(visual), int(width), hidden != 0};
    }
    uint32_t sort = 0;
    uint8_t asc = 0;
    if (!r.u32(sort) || !r.u8(asc))
        return std::nullopt;
    if (version >= 2) {
        uint32_t groups = 0;
        if (!r.u32(groups) || groups > n)
            return std::nullopt;
        for (uint32_t i = 0; i < groups; ++i) {
            uint32_t col = 0;
            if (!r.u32(col) || col >= n)
                return std::nullopt;
            s.groupColumns.push_back(int(col));
        }
    }
    if (!r.atEnd())
        return std::nullopt;
    s.sortColumn = int32_t(sort);
    if (s.sortColumn < -1 || s.sortColumn >= int(n))
        s.sortColumn = -1;
    s.ascending = asc != 0;
    return s;
}

bool GridLayoutState::save(pf::ProfileStore& store, std::string_view name) const
{
    return store.setBlob(name, kKey, encode());
}

std::optional<GridLayoutState> GridLayoutState::load(const pf::ProfileStore& store, std::string_view name,
                                                     const std::vector<std::string>& currentNames)
{
    const std::optional<std::string> blob = store.getBlob(name, kKey);
    if (!blob)
        return std::nullopt;
    std::optional<GridLayoutState> s = decode(*blob);
    if (!s) {
        pf::logLine(0, "Grid layout '" + std::string(name) + "' is damaged or of another version; ignored");
        return std::nullopt;
    }
    if (s->names != currentNames) {
        pf::logLine(0, "Grid layout '" + std::string(name) + "' belongs to another column set; ignored");
        return std::nullopt;
    }
    return s;
}

pf::ProfileStore* GridLayoutState::defaultStore() { return g_defaultStore; }

void GridLayoutState::setDefaultStore(pf::ProfileStore* store) { g_defaultStore = store; }

} // namespace ui
