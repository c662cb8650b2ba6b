#include "server/WatchColumns.h"

#include "app/base/LogWriter.h"

#include "pf/files.h"

#include <cstdio>

// File-local helpers.
namespace {
namespace watch_columns_detail {

void putLe32(std::string& out, int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((u >> (8 * i)) & 0xFFu));
}

int32_t getLe32(const std::string& in, size_t at)
{
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= static_cast<uint32_t>(static_cast<unsigned char>(in[at + static_cast<size_t>(i)])) << (8 * i);
    return static_cast<int32_t>(u);
}

} // namespace watch_columns_detail
} // namespace

WatchColumnLayout DefaultWatchColumns()
{
    WatchColumnLayout l;
    l.count = 11;
    const int32_t first[] = {0, 1, 2, 3, 4, 10, 7, 5, 6, 8, 9};
    size_t n = 0;
    for (int32_t k : first)
        l.kinds[n++] = k;
    for (int32_t k = 11; k <= 22; ++k)
        l.kinds[n++] = k;
    return l;
}

std::filesystem::path WatchColumnsFile(const pf::Paths& paths, std::string_view userId)
{
    return paths.data() / ("watch_" + std::string(userId) + ".dat");
}

void SaveWatchColumns(const pf::Paths& paths, std::string_view userId, const WatchColumnLayout& layout)
{
    std::string line = "Default columns ";
    char buf[32];
    std::snprintf(buf, sizeof buf, "-[%ld]", static_cast<long>(layout.count));
    line += buf;
    for (int32_t k : layout.kinds) {
        std::snprintf(buf, sizeof buf, "-[%ld]", static_cast<long>(k));
        line += buf;
    }
    WriteLog(0, line);

    std::string bytes;
    bytes.reserve(kWatchColumnFileSize);
    watch_columns_detail::putLe32(bytes, layout.count);
    for (int32_t k : layout.kinds)
        watch_columns_detail::putLe32(bytes, k);
    if (!pf::files::writeAtomic(WatchColumnsFile(paths, userId), bytes))
        return;
    WriteLog(0, "Watch data saved to dat file");
}

std::optional<WatchColumnLayout> ReadWatchColumns(const pf::Paths& paths, std::string_view userId)
{
    auto bytes = pf::files::readAll(WatchColumnsFile(paths, userId));
    if (!bytes || bytes->size() != kWatchColumnFileSize)
        return std::nullopt;
    WatchColumnLayout l;
    l.count = watch_columns_detail::getLe32(*bytes, 0);
    if (l.count < 0 || l.count > 23)
        return std::nullopt;
    for (size_t i = 0; i < l.kinds.size(); ++i) {
        l.kinds[i] = watch_columns_detail::getLe32(*bytes, 4 * (i + 1));
        if (l.kinds[i] < 0 || l.kinds[i] > 22)
            return std::nullopt;
    }
    return l;
}

WatchColumnLayout LoadWatchColumns(const pf::Paths& paths, std::string_view userId)
{
    if (auto stored = ReadWatchColumns(paths, userId))
        return *stored;
    WatchColumnLayout l = DefaultWatchColumns();
    SaveWatchColumns(paths, userId, l);
    return l;
}
