// The files the program reads back, each from a program folder of the run's
// own: the settings record (Data/Vortanex_<id>.dat), the configuration
// (Config/Vortanex.ini), the per-user file (Data/<id>.bin), the indices bar's
// line, the market watch's column layout (Data/watch_<id>.dat) and the
// alerts file. The first byte picks the file; the rest is its content.
// Properties: every fixed text read ends inside its field; a file that loads
// writes back to bytes that load to the same record, and that write the same
// bytes again (an alert from its second writing, its texts trimmed); an
// index bar has four places of known indices; a column layout that loads is
// the file's own bytes when saved.
#include "../FuzzTarget.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "market/IndexDisplay.h"
#include "pf/files.h"
#include "pf/paths.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"
#include "server/WatchColumns.h"
#include "watch/AlertTable.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>

namespace program_files {

namespace {

// The run's own program folder, removed when the process ends.
struct Folder {
    Folder()
    {
        char name[] = "/tmp/vx_fuzz_files.XXXXXX";
        const char* made = ::mkdtemp(name);
        FUZZ_CHECK(made != nullptr);
        paths = pf::Paths(std::filesystem::path(made));
        paths.ensureFolders();
    }
    ~Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(paths.root(), ignored);
    }
    pf::Paths paths;
};

const pf::Paths& folder()
{
    static const Folder made;
    return made.paths;
}

template <size_t N>
bool ends(const char (&field)[N])
{
    return std::memchr(field, 0, N) != nullptr;
}

bool configEnds(const ConfigRecord& c)
{
    return ends(c.Feeds_Host) && ends(c.Trade_Host) && ends(c.Watch_Host) && ends(c.Security_Host)
           && ends(c.Redirect_Url) && ends(c.Mcast_IP) && ends(c.Surv_Ip) && ends(c.Market_Data_Host) && ends(c.Gcrn)
           && ends(c.Tls_CA_File);
}

// The per-user fields of the configuration: what the file sets.
std::string userFields(const ConfigRecord& c)
{
    return std::string(c.Feeds_Host) + '\n' + c.Watch_Host + '\n' + c.Security_Host + '\n' + c.Redirect_Url + '\n'
           + std::to_string(c.Connect_Type) + '\n' + std::to_string(c.Feeds_Type) + '\n' + c.Mcast_IP + '\n'
           + std::to_string(c.Mcast_Port) + '\n' + std::to_string(c.Feed_Port) + '\n' + c.Market_Data_Host + '\n'
           + c.Gcrn + '\n' + std::to_string(c.Services_Counter);
}

std::shared_ptr<SecurityTable> smallTable()
{
    SecurityRows rows;
    for (int i = 0; i < 6; ++i) {
        SecurityRecord r;
        r.token = i + 1;
        r.wtoken = 2 * i + 1;
        r.market_exchange.assign("NN");
        r.inst_type.assign("EQ");
        r.symbol.assign("SYM" + std::to_string(i));
        r.setDisplayKey("SYM" + std::to_string(i) + "-EQ");
        rows.push_back(std::move(r));
    }
    auto table = std::make_shared<SecurityTable>();
    table->build(std::move(rows), SecurityTable::Build::Full, true);
    return table;
}

std::string readBack(const std::filesystem::path& path)
{
    return pf::files::readAll(path).value_or(std::string());
}

void settingsRecord(std::string_view bytes)
{
    std::string image(bytes.substr(0, kSettingsFileSize));
    image.resize(kSettingsFileSize, '\0');
    AppSettings first{};
    FUZZ_CHECK(SettingsFromFileImage(image, first));
    FUZZ_CHECK(ends(first.proxy_user) && ends(first.proxy_password) && ends(first.proxy_domain)
               && ends(first.grid_font.face_name) && ends(first.build_number));
    const std::string written = SettingsToFileImage(first);
    FUZZ_CHECK(written.size() == kSettingsFileSize);
    AppSettings second{};
    FUZZ_CHECK(SettingsFromFileImage(written, second));
    FUZZ_CHECK(SettingsToFileImage(second) == written);
}

void configuration(std::string_view bytes)
{
    g_Config = ConfigRecord{};
    FUZZ_CHECK(pf::files::writeAll(folder().config() / "Vortanex.ini", bytes));
    FUZZ_CHECK(ReadConfigFile() == 0);
    FUZZ_CHECK(configEnds(g_Config));
    const std::string news = ConfiguredNewsUrl();
    FUZZ_CHECK(news.empty() || news.find("%s") != std::string::npos);
    FUZZ_CHECK(news.find('\n') == std::string::npos);
}

void perUserFile(std::string_view bytes)
{
    ClearSessionRecord();
    std::strcpy(pv_user_info.user_id, "U1");
    g_Config = ConfigRecord{};
    const std::filesystem::path file = UserFilePath(folder().data(), "U1.bin");
    FUZZ_CHECK(pf::files::writeAll(file, bytes));
    LoadUserConfigDetails("U1");
    FUZZ_CHECK(configEnds(g_Config));
    const std::string loaded = userFields(g_Config);
    WriteUserConfigToDat();
    const std::string written = readBack(file);
    // The file writes the multicast address as "Mcast_Ip", a name its reader
    // skips (it takes only a hand-written "Mcast_IP"): in the program the
    // configuration file, read first, supplies it, as this copy does.
    const ConfigRecord before = g_Config;
    g_Config = ConfigRecord{};
    std::memcpy(g_Config.Mcast_IP, before.Mcast_IP, sizeof g_Config.Mcast_IP);
    LoadUserConfigDetails("U1");
    FUZZ_CHECK(userFields(g_Config) == loaded);
    WriteUserConfigToDat();
    FUZZ_CHECK(readBack(file) == written);
}

void indicesLine(std::string_view bytes)
{
    const std::vector<int> entries = ReadIndicesLine(bytes);
    FUZZ_CHECK(entries.size() <= size_t(std::count(bytes.begin(), bytes.end(), '~')) + 1);
    std::vector<IndexRecord> indices;
    std::vector<int> watchTokens;
    for (int i = 0; i < 6; ++i) {
        IndexRecord r;
        r.id = i + 1;
        r.feedCode = 26000 + i;
        indices.push_back(r);
        watchTokens.push_back(i % 2 ? 11721 + i : 0);
    }
    const BarChoice choice = ChooseBarIndices(indices, watchTokens, entries);
    std::array<int, 4> ids{};
    for (size_t i = 0; i < 4; ++i) {
        FUZZ_CHECK(choice.indexNumbers[i] >= -1 && choice.indexNumbers[i] < int(indices.size()));
        ids[i] = choice.indexNumbers[i] >= 0 ? indices[size_t(choice.indexNumbers[i])].feedCode : 0;
    }
    // The line the bar rewrites reads back to the indices it chose.
    const std::vector<int> again = ReadIndicesLine(IndicesLine(ids));
    const BarChoice second = ChooseBarIndices(indices, watchTokens, again);
    FUZZ_CHECK(second.indexNumbers == choice.indexNumbers);
}

void watchColumns(std::string_view bytes)
{
    FUZZ_CHECK(pf::files::writeAll(WatchColumnsFile(folder(), "U1"), bytes));
    const std::optional<WatchColumnLayout> layout = ReadWatchColumns(folder(), "U1");
    if (!layout)
        return;
    FUZZ_CHECK(layout->count >= 0 && layout->count <= 23);
    for (int32_t kind : layout->kinds)
        FUZZ_CHECK(kind >= 0 && kind <= 22);
    SaveWatchColumns(folder(), "U1", *layout);
    FUZZ_CHECK(readBack(WatchColumnsFile(folder(), "U1")) == bytes);
}

void alertsFile(std::string_view bytes)
{
    const std::shared_ptr<SecurityTable> table = smallTable();
    const std::filesystem::path file = folder().data() / "U1_Alerts.dat";
    FUZZ_CHECK(pf::files::writeAll(file, bytes));
    AlertTable first;
    const int loaded = ReadAlertDataFromFile(first, *table, file);
    FUZZ_CHECK(loaded >= 0 && loaded <= int(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    FUZZ_CHECK(first.size() <= loaded);
    for (const AlertTable::Entry& e : first.entries())
        FUZZ_CHECK(e.second.secIndex >= 0 && e.second.secIndex < table->count());
    // Written back, an alert may lose the blanks around its texts (the
    // reader trims its fields); from then on its line is stable.
    FUZZ_CHECK(WriteAlertDataToFile(first, *table, file));
    AlertTable second;
    ReadAlertDataFromFile(second, *table, file);
    FUZZ_CHECK(second.size() <= first.size());
    FUZZ_CHECK(WriteAlertDataToFile(second, *table, file));
    const std::string written = readBack(file);
    AlertTable third;
    ReadAlertDataFromFile(third, *table, file);
    FUZZ_CHECK(third.size() == second.size());
    FUZZ_CHECK(WriteAlertDataToFile(third, *table, file));
    FUZZ_CHECK(readBack(file) == written);
}

} // namespace

FUZZ_TARGET(program_files)
{
    if (size < 1)
        return;
    SetProgramPaths(folder());
    const std::string_view bytes = fuzz::text(data + 1, size - 1);
    switch (data[0] % 6) {
    case 0:
        settingsRecord(bytes);
        break;
    case 1:
        configuration(bytes);
        break;
    case 2:
        perUserFile(bytes);
        break;
    case 3:
        indicesLine(bytes);
        break;
    case 4:
        watchColumns(bytes);
        break;
    default:
        alertsFile(bytes);
        break;
    }
}

} // namespace program_files
