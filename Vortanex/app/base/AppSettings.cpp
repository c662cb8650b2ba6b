#include "app/base/AppSettings.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"

#include "pf/base64.h"
#include "pf/files.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string>

AppSettings g_AppSettings{};
std::atomic<int> g_ProxyInUse{0};

namespace app_settings_detail {
namespace {

SettingsHost g_defaultHost;
std::atomic<SettingsHost*> g_host{&g_defaultHost};

bool defaultWriter(const std::filesystem::path& path, std::string_view data)
{
    return pf::files::writeAtomic(path, data);
}
std::atomic<SettingsFileWriter> g_writer{&defaultWriter};

constexpr uint32_t kTextColour = 0xFFFFFF;
constexpr uint32_t kUpBackColour = 0xFF3232;
constexpr uint32_t kDownBackColour = 0x3232FF;
constexpr uint32_t kThemeColour = 0xE1C8AF;
constexpr uint32_t kGainColour = 0xFAD2D2;
constexpr uint32_t kLossColour = 0xE1E1FF;
constexpr int32_t kQtyLimit = 5000;
constexpr double kValueLimit = 1000000.0;

void setDefaultFont(AppSettings& s)
{
    s.grid_font = LogFontRecord{};
    s.grid_font.height = -12;
    s.grid_font.quality = 4;
    CopyFixedText(s.grid_font.face_name, "Arial");
}

void setDefaultTickColours(AppSettings& s)
{
    s.normal_text_colour = kTextColour;
    s.up_text_colour = kTextColour;
    s.down_text_colour = kTextColour;
    s.normal_back_colour = 0;
    s.up_back_colour = kUpBackColour;
    s.down_back_colour = kDownBackColour;
}

// Values a damaged or older record may hold that the program cannot use.
void repair(AppSettings& s)
{
    if (s.order_qty_limit == 0)
        s.order_qty_limit = kQtyLimit;
    if (s.order_value_limit == 0.0)
        s.order_value_limit = kValueLimit;
    if (s.lock_minutes < 1)
        s.lock_minutes = 10;
    if (s.grid_font.height == 0 || s.grid_font.height == -1) {
        setDefaultFont(s);
        setDefaultTickColours(s);
    }
    s.grid_font.quality = 4;
    if (s.gain_colour == 0)
        s.gain_colour = kGainColour;
    if (s.loss_colour == 0)
        s.loss_colour = kLossColour;
    s.default_order_type = 0;
    if (s.mdi_group_style != 0)
        s.mdi_group_style = 1;
    if (s.alerts_switch != 0 && s.alerts_switch != 1)
        s.alerts_switch = 1;
    if (s.dump_switch != 0 && s.dump_switch != 1)
        s.dump_switch = 1;
    if (s.message_popup_switch != 0 && s.message_popup_switch != 1)
        s.message_popup_switch = 1;
    if (s.order_success_switch != 0)
        s.order_success_switch = 1;
}

// Text fields read from a file may lack their terminator; everything that
// later prints them relies on one.
void terminateTexts(AppSettings& s)
{
    s.proxy_user[sizeof s.proxy_user - 1] = '\0';
    s.proxy_domain[sizeof s.proxy_domain - 1] = '\0';
    s.grid_font.face_name[sizeof s.grid_font.face_name - 1] = '\0';
    s.switches[sizeof s.switches - 1] = '\0';
    s.build_number[sizeof s.build_number - 1] = '\0';
}


std::filesystem::path userSettingsPath(const std::filesystem::path& data, std::string_view id)
{
    return UserFilePath(data, "Vortanex_" + std::string(id) + ".dat");
}

void writeOrLog(const std::filesystem::path& path, std::string_view data)
{
    if (!WriteSettingsFile(path, data))
        WriteLog(0, "Could not write " + path.string());
}

// marking.dat: per segment its id, name[32], text colour and back colour. A
// segment whose text and back colours are equal gets black text on a grey
// that darkens by position, kept in the table too.
void saveMarking(const std::filesystem::path& data)
{
    if (pv_user_info.segments.empty())
        return; // no login yet: nothing to save, and the old file stays
    const int count = std::min<int>(pv_user_info.segment_count, static_cast<int>(pv_user_info.segments.size()));
    std::string out;
    for (int i = 0; i < count; ++i) {
        ExchangeSegment& seg = pv_user_info.segments[static_cast<size_t>(i)];
        WriteLog(3, formatText("Saving Name %.*s, Text %d, Back %d", static_cast<int>(FixedTextView(seg.name).size()),
                               seg.name, static_cast<int>(seg.text_colour), static_cast<int>(seg.row_colour)));
        if (seg.text_colour == seg.row_colour) {
            const uint32_t g = static_cast<uint32_t>(250 - 10 * i) & 0xFF;
            seg.text_colour = 0;
            seg.row_colour = g | (g << 8) | (g << 16);
        }
        char record[44] = {};
        const int32_t id = seg.id;
        const uint32_t text = seg.text_colour;
        const uint32_t back = seg.row_colour;
        std::memcpy(record, &id, 4);
        const std::string_view name = FixedTextView(seg.name);
        std::memcpy(record + 4, name.data(), name.size());
        std::memcpy(record + 36, &text, 4);
        std::memcpy(record + 40, &back, 4);
        out.append(record, sizeof record);
    }
    writeOrLog(data / "marking.dat", out);
}

} // namespace
} // namespace app_settings_detail

void SetSettingsHost(SettingsHost* host)
{
    app_settings_detail::g_host.store(host ? host : &app_settings_detail::g_defaultHost);
}

SettingsHost& CurrentSettingsHost()
{
    return *app_settings_detail::g_host.load();
}

void SetSettingsFileWriter(SettingsFileWriter writer)
{
    app_settings_detail::g_writer.store(writer ? writer : &app_settings_detail::defaultWriter);
}

bool WriteSettingsFile(const std::filesystem::path& path, std::string_view data)
{
    return app_settings_detail::g_writer.load()(path, data);
}

std::string SettingsToFileImage(const AppSettings& settings)
{
    AppSettings image = settings;
    const std::string_view password = FixedTextView(settings.proxy_password);
    const std::string encoded = pf::base64Encode(
        std::span(reinterpret_cast<const uint8_t*>(password.data()), password.size()));
    if (encoded.size() >= sizeof image.proxy_password) {
        // A cut Base64 text would read back as a different password; leave it
        // out so that the user is asked for it again instead.
        WriteLog(0, "Proxy password longer than " + std::to_string(kMaxProxyPassword)
                        + " characters is not saved");
        std::memset(image.proxy_password, 0, sizeof image.proxy_password);
    } else {
        CopyFixedText(image.proxy_password, encoded);
    }
    return std::string(reinterpret_cast<const char*>(&image), sizeof image);
}

bool SettingsFromFileImage(std::string_view image, AppSettings& settings)
{
    if (image.size() != kSettingsFileSize)
        return false;
    AppSettings record;
    std::memcpy(&record, image.data(), sizeof record);
    const std::string_view stored = FixedTextView(record.proxy_password);
    const auto decoded = pf::base64Decode(stored);
    std::memset(record.proxy_password, 0, sizeof record.proxy_password);
    if (decoded) {
        CopyFixedText(record.proxy_password,
                      std::string_view(reinterpret_cast<const char*>(decoded->data()), decoded->size()));
    } else if (!stored.empty()) {
        WriteLog(0, "Stored proxy password is not Base64; it is dropped");
    }
    app_settings_detail::terminateTexts(record);
    settings = record;
    return true;
}

void SetDefaultSettings()
{
    try {
        AppSettings& s = g_AppSettings;
        s = AppSettings{};
        app_settings_detail::setDefaultFont(s);
        app_settings_detail::setDefaultTickColours(s);
        s.gridlines = 0;
        s.gridline_colour = 0;
        s.theme_colour = app_settings_detail::kThemeColour;
        s.gain_colour = app_settings_detail::kGainColour;
        s.loss_colour = app_settings_detail::kLossColour;
        s.default_order_type = 0;
        CopyFixedText(s.switches, "11111111");
        s.order_qty_limit = app_settings_detail::kQtyLimit;
        s.order_value_limit = app_settings_detail::kValueLimit;
        s.auto_feeds = 1;
        s.lock_minutes = 30;
        s.theme = CurrentSettingsHost().profileTheme();
        s.gain_threshold = 200.0;
        s.loss_threshold = -200.0;
        s.mdi_group_style = 1;
        s.alerts_switch = 0;
        s.dump_switch = 0;
        s.order_success_switch = 1;
        s.message_popup_switch = 1;
        CopyFixedText(s.build_number, kBuildText);
    } catch (...) {
        WriteLog(0, "Exception in SetDefaultSettings");
    }
}

void SetDefaultSettingsKeepingAccount()
{
    const AppSettings kept = g_AppSettings;
    SetDefaultSettings();
    AppSettings& s = g_AppSettings;
    std::memcpy(s.proxy_user, kept.proxy_user, sizeof s.proxy_user);
    std::memcpy(s.proxy_password, kept.proxy_password, sizeof s.proxy_password);
    std::memcpy(s.proxy_domain, kept.proxy_domain, sizeof s.proxy_domain);
    s.category_version = kept.category_version;
    s.services_version = kept.services_version;
}

void GetProxyDetails(short mode, std::string_view id)
{
    try {
        const auto data = ProgramPaths().data();
        const bool perUser = mode == 1 && !id.empty();
        if (perUser && !IsPlainFileName(id)) {
            WriteLog(0, "Login id [" + std::string(id) + "] does not name a settings file");
            return;
        }
        const auto path = perUser ? app_settings_detail::userSettingsPath(data, id) : data / "Vortanex.dat";
        const int64_t size = pf::files::size(path);
        if (perUser)
            NoteUserFileKnown(path);
        if (size < 0) {
            if (mode == 1)
                return;
        } else {
            if (perUser)
                WriteLog(0, formatText("Vortanex_%.*s.dat File Size :%d = %d", static_cast<int>(id.size()), id.data(),
                                       static_cast<int>(size), static_cast<int>(kSettingsFileSize)));
            else
                WriteLog(0, formatText("Vortanex.dat File Size :%d = %d", static_cast<int>(size),
                                       static_cast<int>(kSettingsFileSize)));
        }

        // Only a file of exactly the record's size is taken; a short or long
        // one is treated as absent, never read partly.
        bool defaults = true;
        if (size == static_cast<int64_t>(kSettingsFileSize)) {
            const auto image = pf::files::readAll(path);
            AppSettings loaded;
            if (image && SettingsFromFileImage(*image, loaded)) {
                g_AppSettings = loaded;
                g_ProxyInUse.store(g_AppSettings.proxy_user[0] != '\0' ? 1 : 0);
                WriteLog(0, formatText("Getting Font Size %d, Name :%s", g_AppSettings.grid_font.height,
                                       g_AppSettings.grid_font.face_name));
                defaults = false;
            }
        }
        if (defaults) {
            WriteLog(0, "Setting Default Setting");
            g_ProxyInUse.store(0);
            SetDefaultSettings();
        }

        app_settings_detail::repair(g_AppSettings);

        const std::string_view stored = FixedTextView(g_AppSettings.build_number);
        if (defaults || stored != kBuildText) {
            if (stored < std::string_view("2.2.0.2")) {
                g_AppSettings.theme = kDefaultTheme;
                CurrentSettingsHost().applyTheme(kDefaultTheme);
            }
            CopyFixedText(g_AppSettings.build_number, kBuildText);
            if (defaults)
                SaveSettings();
        }
        WriteLog(0, "Exit : GetProxyDetails");
    } catch (...) {
        WriteLog(0, "Exception in GetProxyDetails");
    }
}

void SaveSettings()
{
    try {
        const AppSettings& s = g_AppSettings;
        const std::string image = SettingsToFileImage(s);
        WriteLog(3, formatText("Saving Font Height %d, width %ld , Escapement %ld , Weight %ld Name :%s",
                               s.grid_font.height, static_cast<long>(s.grid_font.width),
                               static_cast<long>(s.grid_font.escapement), static_cast<long>(s.grid_font.weight),
                               s.grid_font.face_name));

        // The request layer uses the credentials of the record just saved.
        g_ProxyInUse.store(s.proxy_user[0] != '\0' ? 1 : 0);

        const auto data = ProgramPaths().data();
        const auto shared = data / "Vortanex.dat";
        // The shared file keeps everything but the theme of whoever saved it
        // first; a file of the wrong size is replaced as if absent.
        std::optional<std::string> existing;
        if (pf::files::size(shared) == static_cast<int64_t>(kSettingsFileSize))
            existing = pf::files::readAll(shared);
        if (existing && existing->size() == kSettingsFileSize) {
            const int32_t theme = s.theme;
            std::memcpy(existing->data() + offsetof(AppSettings, theme), &theme, sizeof theme);
            app_settings_detail::writeOrLog(shared, *existing);
        } else {
            app_settings_detail::writeOrLog(shared, image);
        }

        const std::string_view userId = FixedTextView(pv_user_info.user_id);
        const std::string_view nick = FixedTextView(pv_user_info.nick_name);
        for (const std::string_view id : {userId, nick}) {
            if (!IsPlainFileName(id))
                continue;
            const auto path = app_settings_detail::userSettingsPath(data, id);
            if (!MayWriteUserFile(path)) {
                WriteLog(0, "Not written over the unread " + path.string());
                continue;
            }
            app_settings_detail::writeOrLog(path, image);
            NoteUserFileKnown(path);
        }

        app_settings_detail::saveMarking(data);

        if (!userId.empty() || !nick.empty())
            WriteUserConfigToDat();
    } catch (...) {
        WriteLog(0, "Exception in SaveSettings");
    }
}
