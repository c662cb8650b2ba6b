#include "app/base/AppSettings.h"

#include "config_test_support.h"

#include <cstring>
#include <vector>

#ifndef VX_CONFIG_FIXTURES
#error "VX_CONFIG_FIXTURES must name the fixture folder"
#endif

namespace {

class RecordingHost final : public SettingsHost {
public:
    int profileTheme() override { return 32900; }
    void applyTheme(int theme) override { applied.push_back(theme); }
    void broadcastSettings(int code) override { broadcasts.push_back(code); }
    std::vector<int> applied;
    std::vector<int> broadcasts;
};

class AppSettingsTest : public ProgramFolderTest {
protected:
    std::filesystem::path shared() const { return paths.data() / "Vortanex.dat"; }
    std::string fixture() const
    {
        return read(std::filesystem::path(VX_CONFIG_FIXTURES) / "settings" / "Vortanex_fixture.dat");
    }

    // A valid record with one field changed, as a file image.
    std::string imageWith(void (*change)(AppSettings&))
    {
        SetDefaultSettings();
        AppSettings s = g_AppSettings;
        change(s);
        return SettingsToFileImage(s);
    }

    RecordingHost host;
};

TEST_F(AppSettingsTest, FixtureFieldsSitAtTheirOffsetsAndTheImageRoundTripsByteForByte)
{
    const std::string bytes = fixture();
    ASSERT_EQ(bytes.size(), 432u);
    write(paths.data() / "Vortanex_fix.dat", bytes);

    GetProxyDetails(1, "fix");
    const AppSettings& s = g_AppSettings;
    EXPECT_STREQ(s.proxy_user, "proxyuser");
    EXPECT_STREQ(s.proxy_password, "s3cret!") << "Base64 in the file, plain in memory";
    EXPECT_STREQ(s.proxy_domain, "CORP");
    EXPECT_EQ(s.grid_font.height, -14);
    EXPECT_EQ(s.grid_font.weight, 700);
    EXPECT_EQ(s.grid_font.italic, 1);
    EXPECT_EQ(s.grid_font.pitch_and_family, 34);
    EXPECT_STREQ(s.grid_font.face_name, "DejaVu Sans");
    EXPECT_EQ(s.up_text_colour, 0x00FF00u);
    EXPECT_EQ(s.normal_back_colour, 0x101010u);
    EXPECT_EQ(s.down_back_colour, 0x3232FFu);
    EXPECT_EQ(s.gridlines, 1);
    EXPECT_EQ(s.gridline_colour, 0x808080u);
    EXPECT_STREQ(s.switches, "10110111");
    EXPECT_EQ(s.order_qty_limit, 2500);
    EXPECT_EQ(s.order_value_limit, 250000.5);
    EXPECT_EQ(s.category_version, 7);
    EXPECT_EQ(s.lock_minutes, 15);
    EXPECT_EQ(s.theme, 32840);
    EXPECT_EQ(s.gain_threshold, 150.0);
    EXPECT_EQ(s.loss_threshold, -175.0);
    EXPECT_EQ(s.alerts_switch, 1);
    EXPECT_EQ(s.dump_switch, 1);
    EXPECT_EQ(s.order_success_switch, 0);
    EXPECT_EQ(s.message_popup_switch, 1);
    EXPECT_EQ(s.services_version, 3);
    EXPECT_STREQ(s.build_number, "2.3.0.20");
    EXPECT_EQ(s.stoploss_percent, 125.0);
    EXPECT_EQ(g_ProxyInUse.load(), 1);

    // Saved for the same user, the file is the fixture again.
    CopyFixedText(pv_user_info.user_id, "fix");
    SaveSettings();
    EXPECT_EQ(read(paths.data() / "Vortanex_fix.dat"), bytes);
}

TEST_F(AppSettingsTest, WrongSizedSharedFileGivesTheDefaultsAndIsRewritten)
{
    SetSettingsHost(&host);
    for (size_t size : {size_t{0}, size_t{431}, size_t{433}}) {
        SCOPED_TRACE(size);
        // The right bytes for every field but one byte too many or too few:
        // nothing of it may be taken.
        std::string image = imageWith([](AppSettings& s) { s.lock_minutes = 3; });
        image.resize(size, 'x');
        write(shared(), image);
        g_AppSettings.lock_minutes = 99;

        GetProxyDetails(0, "");
        EXPECT_EQ(g_AppSettings.lock_minutes, 30);
        EXPECT_EQ(g_AppSettings.theme, 32900) << "the default theme comes from the profile";
        EXPECT_STREQ(g_AppSettings.grid_font.face_name, "Arial");
        EXPECT_EQ(read(shared()), SettingsToFileImage(g_AppSettings)) << "the defaults are saved at once";
    }
}

TEST_F(AppSettingsTest, RepairPassFixesUnusableValues)
{
    write(shared(), imageWith([](AppSettings& s) {
              s.lock_minutes = 0;
              s.order_qty_limit = 0;
              s.order_value_limit = 0;
              s.grid_font.height = -1;
              std::strcpy(s.grid_font.face_name, "Courier");
              s.up_back_colour = 0x123456;
              s.grid_font.quality = 0;
              s.gain_colour = 0;
              s.default_order_type = 3;
              s.mdi_group_style = 7;
              s.alerts_switch = 5;
              s.dump_switch = 9;
              s.message_popup_switch = -1;
              s.order_success_switch = 3;
          }));
    GetProxyDetails(0, "");
    const AppSettings& s = g_AppSettings;
    EXPECT_EQ(s.lock_minutes, 10) << "not the default 30";
    EXPECT_EQ(s.order_qty_limit, 5000);
    EXPECT_EQ(s.order_value_limit, 1000000.0);
    EXPECT_EQ(s.grid_font.height, -12);
    EXPECT_STREQ(s.grid_font.face_name, "Arial");
    EXPECT_EQ(s.up_back_colour, 0xFF3232u) << "the tick colours go with the font";
    EXPECT_EQ(s.grid_font.quality, 4);
    EXPECT_EQ(s.gain_colour, 0xFAD2D2u);
    EXPECT_EQ(s.default_order_type, 0);
    EXPECT_EQ(s.mdi_group_style, 1);
    EXPECT_EQ(s.alerts_switch, 1);
    EXPECT_EQ(s.dump_switch, 1);
    EXPECT_EQ(s.message_popup_switch, 1);
    EXPECT_EQ(s.order_success_switch, 1);
}

TEST_F(AppSettingsTest, OlderBuildsGetTheDefaultTheme)
{
    SetSettingsHost(&host);
    struct Case {
        const char* build;
        int theme;
        bool applied;
    } cases[] = {{"2.1.9.9", 32835, true}, {"2.2.0.2", 32999, false}, {"", 32835, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.build);
        host.applied.clear();
        std::string image = imageWith([](AppSettings& s) { s.theme = 32999; });
        AppSettings s;
        ASSERT_TRUE(SettingsFromFileImage(image, s));
        CopyFixedText(s.build_number, c.build);
        write(shared(), SettingsToFileImage(s));
        GetProxyDetails(0, "");
        EXPECT_EQ(g_AppSettings.theme, c.theme);
        EXPECT_EQ(!host.applied.empty(), c.applied);
        EXPECT_STREQ(g_AppSettings.build_number, kBuildText);
    }
}

TEST_F(AppSettingsTest, ProxyPasswordSurvivesSavesUpToItsLimit)
{
    SetDefaultSettings();
    CopyFixedText(g_AppSettings.proxy_user, "px");
    const std::string longest(kMaxProxyPassword, 'p');
    CopyFixedText(g_AppSettings.proxy_password, longest);
    SaveSettings();
    SaveSettings(); // the second save must not encode the stored text again
    g_AppSettings = AppSettings{};
    GetProxyDetails(0, "");
    EXPECT_EQ(std::string(g_AppSettings.proxy_password), longest);

    // One more character no longer fits its Base64 text: it is left out
    // rather than stored cut (which would read back as another password).
    CopyFixedText(pv_user_info.user_id, "U7");
    CopyFixedText(g_AppSettings.proxy_password, longest + "q");
    SaveSettings();
    g_AppSettings = AppSettings{};
    GetProxyDetails(1, "U7");
    EXPECT_STREQ(g_AppSettings.proxy_password, "");
    EXPECT_NE(logText().find("Proxy password longer than 93 characters is not saved"), std::string::npos);
}

TEST_F(AppSettingsTest, SharedFileKeepsItsFieldsButTakesTheTheme)
{
    SetDefaultSettings();
    CopyFixedText(g_AppSettings.proxy_user, "first");
    g_AppSettings.theme = 32836;
    SaveSettings();

    CopyFixedText(g_AppSettings.proxy_user, "");
    g_AppSettings.lock_minutes = 5;
    g_AppSettings.theme = 32837;
    SaveSettings();
    EXPECT_EQ(g_ProxyInUse.load(), 0) << "the flag follows the record just saved";

    AppSettings stored;
    ASSERT_TRUE(SettingsFromFileImage(read(shared()), stored));
    EXPECT_STREQ(stored.proxy_user, "first");
    EXPECT_EQ(stored.lock_minutes, 30);
    EXPECT_EQ(stored.theme, 32837);
}

bool failingRename(const std::filesystem::path& path, std::string_view data)
{
    // Writes the temporary file in full, then the rename "fails".
    auto tmp = path;
    tmp += ".tmp.test";
    pf::files::writeAll(tmp, data);
    std::filesystem::remove(tmp);
    return false;
}

TEST_F(AppSettingsTest, FailedSaveLeavesTheOldFilesWhole)
{
    CopyFixedText(pv_user_info.user_id, "U9");
    pv_user_info.id_kind = 1;
    SetDefaultSettings();
    SaveSettings();
    const std::string oldUser = read(paths.data() / "Vortanex_U9.dat");
    const std::string oldBin = read(paths.data() / "U9.bin");
    ASSERT_EQ(oldUser.size(), 432u);
    ASSERT_FALSE(oldBin.empty());

    SetSettingsFileWriter(&failingRename);
    g_AppSettings.lock_minutes = 12;
    CopyFixedText(g_Config.Feeds_Host, "changed");
    SaveSettings();
    SetSettingsFileWriter(nullptr);

    EXPECT_EQ(read(paths.data() / "Vortanex_U9.dat"), oldUser);
    EXPECT_EQ(read(paths.data() / "U9.bin"), oldBin);
    EXPECT_NE(logText().find("Could not write"), std::string::npos);
    GetProxyDetails(1, "U9");
    EXPECT_EQ(g_AppSettings.lock_minutes, 30);
}

TEST_F(AppSettingsTest, MarkingFileWaitsForTheSegmentTableAndGreysEqualColours)
{
    SetDefaultSettings();
    write(paths.data() / "marking.dat", "old");
    SaveSettings();
    EXPECT_EQ(read(paths.data() / "marking.dat"), "old") << "no segment table before login";

    ParseSegmentList("1-NSE-Y^2-BSE-Y^3-NFO-N^4-CDS-Y");
    pv_user_info.segments[0].text_colour = pv_user_info.segments[0].row_colour;
    pv_user_info.segments[1].text_colour = 0x0000FF;
    pv_user_info.segments[3].row_colour = 0x0000FF;
    pv_user_info.segments[3].text_colour = 0x0000FF;
    SaveSettings();

    const std::string bytes = read(paths.data() / "marking.dat");
    ASSERT_EQ(bytes.size(), 4u * 44u);
    auto field = [&](int record, int offset) {
        int32_t v;
        std::memcpy(&v, bytes.data() + record * 44 + offset, 4);
        return static_cast<uint32_t>(v);
    };
    EXPECT_EQ(field(0, 0), 1u);
    EXPECT_EQ(std::string(bytes.data() + 4), "NSE");
    EXPECT_EQ(field(0, 36), 0u);
    EXPECT_EQ(field(0, 40), 0xFAFAFAu) << "grey 250 at position 0";
    EXPECT_EQ(field(1, 36), 0x0000FFu);
    EXPECT_EQ(field(1, 40), 0xDCFFDCu);
    EXPECT_EQ(field(3, 40), 0xDCDCDCu) << "grey 220 at position 3";
    EXPECT_EQ(pv_user_info.segments[3].row_colour, 0xDCDCDCu) << "the repair stays in the table";
}

} // namespace
