#pragma once
// The user's settings record: proxy credentials, grid font and colours, order
// limits, lock minutes, theme and switches. The record is also the exact
// 432-byte image of the settings files (Data/Vortanex.dat, Data/Vortanex_<id>.dat),
// little-endian with natural alignment, so its layout is fixed below.
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

static_assert(std::endian::native == std::endian::little, "the settings files are little-endian images");

// A logical font record with 32-bit fields, as the settings files store it.
struct LogFontRecord {
    int32_t height;
    int32_t width;
    int32_t escapement;
    int32_t orientation;
    int32_t weight;
    uint8_t italic;
    uint8_t underline;
    uint8_t strike_out;
    uint8_t char_set;
    uint8_t out_precision;
    uint8_t clip_precision;
    uint8_t quality;
    uint8_t pitch_and_family;
    char face_name[32];
};
static_assert(sizeof(LogFontRecord) == 60);

struct AppSettings {
    char proxy_user[24];
    char proxy_password[128]; // plain in memory, Base64 in the files
    char proxy_domain[24];
    LogFontRecord grid_font;
    uint32_t normal_text_colour; // colours are 0x00BBGGRR
    uint32_t up_text_colour;
    uint32_t down_text_colour;
    uint32_t normal_back_colour;
    uint32_t up_back_colour;
    uint32_t down_back_colour;
    uint8_t gridlines;
    uint8_t unused_gridlines[3];
    uint32_t gridline_colour;
    uint32_t theme_colour;
    uint32_t gain_colour;
    uint32_t loss_colour;
    int32_t default_order_type;
    uint8_t unused_block[48];
    char switches[10]; // '0'/'1': [0] order confirmation, [1] message sound
    uint8_t unused_switches[2];
    int32_t order_qty_limit;
    uint8_t unused_limit[4];
    double order_value_limit;
    int32_t category_version;
    int32_t auto_feeds;
    int32_t lock_minutes;
    int32_t theme;
    double gain_threshold; // net change % x 100
    double loss_threshold;
    int32_t mdi_group_style;
    int16_t alerts_switch;
    uint8_t dump_switch;
    uint8_t order_success_switch;
    int16_t message_popup_switch;
    uint8_t unused_popup[2];
    int32_t services_version;
    char build_number[15];
    uint8_t unused_build;
    double stoploss_percent; // multiple-product stop-loss % x 100
};

static_assert(sizeof(AppSettings) == 432);
static_assert(offsetof(AppSettings, proxy_password) == 24);
static_assert(offsetof(AppSettings, proxy_domain) == 152);
static_assert(offsetof(AppSettings, grid_font) == 176);
static_assert(offsetof(AppSettings, normal_text_colour) == 236);
static_assert(offsetof(AppSettings, down_back_colour) == 256);
static_assert(offsetof(AppSettings, gridlines) == 260);
static_assert(offsetof(AppSettings, gridline_colour) == 264);
static_assert(offsetof(AppSettings, loss_colour) == 276);
static_assert(offsetof(AppSettings, default_order_type) == 280);
static_assert(offsetof(AppSettings, switches) == 332);
static_assert(offsetof(AppSettings, order_qty_limit) == 344);
static_assert(offsetof(AppSettings, order_value_limit) == 352);
static_assert(offsetof(AppSettings, category_version) == 360);
static_assert(offsetof(AppSettings, lock_minutes) == 368);
static_assert(offsetof(AppSettings, theme) == 372);
static_assert(offsetof(AppSettings, gain_threshold) == 376);
static_assert(offsetof(AppSettings, loss_threshold) == 384);
static_assert(offsetof(AppSettings, mdi_group_style) == 392);
static_assert(offsetof(AppSettings, alerts_switch) == 396);
static_assert(offsetof(AppSettings, dump_switch) == 398);
static_assert(offsetof(AppSettings, order_success_switch) == 399);
static_assert(offsetof(AppSettings, message_popup_switch) == 400);
static_assert(offsetof(AppSettings, services_version) == 404);
static_assert(offsetof(AppSettings, build_number) == 408);
static_assert(offsetof(AppSettings, stoploss_percent) == 424);

inline constexpr size_t kSettingsFileSize = sizeof(AppSettings);
// The program's build text (string 150 without "Build Number ").
inline constexpr const char* kBuildText = "2.3.0.20";
inline constexpr int kDefaultTheme = 32835;
// The longest proxy password whose Base64 text fits the 127 characters the
// file keeps; longer ones cannot be stored faithfully.
inline constexpr size_t kMaxProxyPassword = 93;

// The one settings record, and the program-wide proxy-in-use flag that the
// request function reads with the proxy credentials.
extern AppSettings g_AppSettings;
extern std::atomic<int> g_ProxyInUse;

// What the settings code needs of windows and of the application profile.
// The defaults do nothing, so the code runs before (and without) a main frame.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    // The theme the defaults keep: the one the frame shows, kDefaultTheme
    // without a frame.
    virtual int profileTheme() { return kDefaultTheme; }
    // Lets the main frame apply the theme; ignored while there is no frame.
    virtual void applyTheme(int /*theme*/) {}
    // Tells the open windows that the settings changed (settings code).
    virtual void broadcastSettings(int /*code*/) {}
};

// Installs the host (nullptr restores the do-nothing one). The host must
// outlive its installation.
void SetSettingsHost(SettingsHost* host);
SettingsHost& CurrentSettingsHost();

// The file writer of the settings code; an atomic replace by default. Tests
// install one that fails to show that a failed save keeps the old file.
using SettingsFileWriter = bool (*)(const std::filesystem::path& path, std::string_view data);
void SetSettingsFileWriter(SettingsFileWriter writer); // nullptr restores the default
bool WriteSettingsFile(const std::filesystem::path& path, std::string_view data);

// Loads g_AppSettings: mode 0 the shared file, mode 1 the per-user file of `id`
// (a missing per-user file leaves the record as it is). A missing or
// wrong-sized file gives the defaults (saved at once).
void GetProxyDetails(short mode, std::string_view id);

// The defaults of every field.
void SetDefaultSettings();
// The settings dialog's "Set Default Settings": the defaults of every field
// except the proxy credentials, entered in their own dialog, and the category
// and services list versions, which say what the next login need not download
// again. Losing them would make the next login fail at the proxy and fetch
// every list anew.
void SetDefaultSettingsKeepingAccount();

// Writes the shared and per-user settings files, marking.dat (once the segment
// table exists) and, when a user is known, the per-user configuration file.
void SaveSettings();

// The 432-byte file image of a record (password as Base64) and back. A
// password whose Base64 text does not fit is left out, with a log line.
std::string SettingsToFileImage(const AppSettings& settings);
// False when `image` is not exactly kSettingsFileSize bytes.
bool SettingsFromFileImage(std::string_view image, AppSettings& settings);
