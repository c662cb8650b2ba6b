// The settings dialog: Save's checks in their order, the defaults button,
// Cancel putting the record back, colour buttons, and the feed transport
// switch reconnecting on its timer.
#include "testkit/headless.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/SessionRecord.h"
#include "frame/CColorSetting.h"
#include "frame/controls/CColourButton.h"

#include <QComboBox>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct CheckCase {
    const char* name;
    SettingsTexts texts;
    int field; // 0 = accepted
};

TEST(SettingsChecks, SaveRefusesInOrderAndAcceptsTheLimits)
{
    const SettingsTexts good{"30", "2.00", "-2.00", "1.5", "5000", "1000000"};
    const auto with = [&](int which, const char* text) {
        SettingsTexts t = good;
        std::string* fields[] = {&t.lock, &t.gain, &t.loss, &t.stopLoss, &t.quantity, &t.value};
        *fields[which] = text;
        return t;
    };
    const std::vector<CheckCase> cases = {
        {"all good", good, 0},
        {"lock 0", with(0, "0"), 1301},
        {"lock 31", with(0, "31"), 1301},
        {"lock empty", with(0, ""), 1301},
        {"lock past the integer range", with(0, "99999999999"), 1301},
        {"lock 1", with(0, "1"), 0},
        {"gain -0.5", with(1, "-0.5"), 1107},
        {"gain 0", with(1, "0"), 0},
        {"gain not a number reads 0", with(1, "abc"), 0},
        {"loss 0.5", with(2, "0.5"), 1109},
        {"loss 0", with(2, "0"), 0},
        {"stop-loss -1", with(3, "-1"), 1530},
        {"quantity -1", with(4, "-1"), 1192},
        {"value negative", with(5, "-1"), 1197},
        {"value not a number", with(5, "nan"), 1197},
        {"value infinite", with(5, "inf"), 1197},
        {"lock before gain", SettingsTexts{"0", "-1", "1", "-1", "-1", "-1"}, 1301},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SettingsCheck r = CheckSettings(c.texts);
        EXPECT_EQ(r.ok, c.field == 0);
        EXPECT_EQ(r.field, c.field);
    }
    EXPECT_EQ(CheckSettings(with(0, "0")).message, "Terminal Lock Time can't be Zero or greater than 30");
    EXPECT_EQ(CheckSettings(with(2, "0.5")).message, "Pls Enter valid Percentage");
    const SettingsCheck ok = CheckSettings(good);
    EXPECT_EQ(ok.values.lockMinutes, 30);
    EXPECT_DOUBLE_EQ(ok.values.lossPercent, -2.0);
}

class SettingsDialogTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        m_settings = g_AppSettings;
        m_config = g_Config;
        m_user = pv_user_info;
        SetDefaultSettings();
        g_Config.Feeds_Type = 5;
        pv_user_info.segments.assign(2, ExchangeSegment{});
        pv_user_info.segment_count = 2;
        std::strcpy(pv_user_info.segments[0].name, "NSE");
        std::strcpy(pv_user_info.segments[1].name, "BSE");
        pv_user_info.segments[1].id = 4;
    }
    void TearDown() override
    {
        g_AppSettings = m_settings;
        g_Config = m_config;
        pv_user_info = m_user;
        Headless::TearDown();
    }

    CColorSetting::Hooks hooks()
    {
        return {[this] { events.push_back("disconnect"); }, [this] { events.push_back("connect"); },
                [this] { events.push_back("write user config"); }, [this] { events.push_back("save"); },
                [this] { events.push_back("look"); }, [this](const std::string& m) { events.push_back(m); }};
    }

    std::vector<std::string> events;

private:
    AppSettings m_settings;
    ConfigRecord m_config;
    UserInfoRecord m_user;
};

TEST_F(SettingsDialogTest, DefaultsThenSaveWritesTheDefaultsAndAFailedSaveStoresNothing)
{
    g_AppSettings.lock_minutes = 10;
    g_AppSettings.gain_threshold = 500;
    CColorSetting dialog(hooks());
    EXPECT_EQ(dialog.Control<QLineEdit>(1301)->text(), "10");
    EXPECT_TRUE(dialog.Control<QLineEdit>(1301)->toolTip().startsWith("1 to 30 minutes")) << "the limit where it is typed";
    EXPECT_EQ(dialog.Control<QLineEdit>(1107)->text(), "5.00");
    dialog.Control<QLineEdit>(1301)->setText("31");
    dialog.OnSave();
    EXPECT_EQ(events, std::vector<std::string>{"Terminal Lock Time can't be Zero or greater than 30"});
    EXPECT_EQ(g_AppSettings.lock_minutes, 10);

    events.clear();
    dialog.OnDefaults();
    EXPECT_EQ(dialog.Control<QLineEdit>(1301)->text(), "30") << "the controls show the defaults";
    dialog.OnSave();
    EXPECT_EQ(events, std::vector<std::string>{"save"});
    EXPECT_EQ(g_AppSettings.lock_minutes, 30);
    EXPECT_DOUBLE_EQ(g_AppSettings.gain_threshold, 200.0);
    EXPECT_DOUBLE_EQ(g_AppSettings.loss_threshold, -200.0);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// The proxy credentials come from their own dialog and the list versions say
// what the next login need not download: the defaults button keeps them.
TEST_F(SettingsDialogTest, DefaultsKeepTheProxyCredentialsAndTheListVersions)
{
    std::strcpy(g_AppSettings.proxy_user, "proxyuser");
    std::strcpy(g_AppSettings.proxy_password, "s3cret");
    std::strcpy(g_AppSettings.proxy_domain, "CORP");
    g_AppSettings.category_version = 17;
    g_AppSettings.services_version = 9;
    g_AppSettings.lock_minutes = 12;
    CColorSetting dialog(hooks());
    dialog.Control<QPushButton>(1222)->click(); // "Set Default Settings"
    dialog.OnSave();
    EXPECT_EQ(events, std::vector<std::string>{"save"});
    EXPECT_STREQ(g_AppSettings.proxy_user, "proxyuser");
    EXPECT_STREQ(g_AppSettings.proxy_password, "s3cret");
    EXPECT_STREQ(g_AppSettings.proxy_domain, "CORP");
    EXPECT_EQ(g_AppSettings.category_version, 17);
    EXPECT_EQ(g_AppSettings.services_version, 9);
    EXPECT_EQ(g_AppSettings.lock_minutes, 30) << "what the dialog shows is reset";
}

// The user's price alerts are theirs: the defaults leave them checked as
// they were, and Save keeps them on.
TEST_F(SettingsDialogTest, DefaultsKeepTheUsersAlertsOn)
{
    for (const short on : {short(1), short(0)}) {
        g_AppSettings.alerts_switch = on;
        g_AppSettings.lock_minutes = 12;
        CColorSetting dialog(hooks());
        ASSERT_EQ(dialog.Control<QCheckBox>(1229)->isChecked(), on != 0);
        dialog.Control<QPushButton>(1222)->click(); // "Set Default Settings"
        EXPECT_EQ(dialog.Control<QCheckBox>(1229)->isChecked(), on != 0) << on;
        dialog.OnSave();
        EXPECT_EQ(g_AppSettings.alerts_switch, on) << on;
        EXPECT_EQ(g_AppSettings.lock_minutes, 30) << "the rest is reset";
    }
    // A tick not saved yet is the user's too.
    g_AppSettings.alerts_switch = 0;
    CColorSetting dialog(hooks());
    dialog.Control<QCheckBox>(1229)->setChecked(true);
    dialog.Control<QPushButton>(1222)->click();
    EXPECT_TRUE(dialog.Control<QCheckBox>(1229)->isChecked());
    dialog.OnSave();
    EXPECT_EQ(g_AppSettings.alerts_switch, 1);
}

TEST_F(SettingsDialogTest, ColoursChangeAtOnceAndCancelPutsTheRecordBack)
{
    const AppSettings before = g_AppSettings;
    CColorSetting dialog(hooks());
    auto* tick = dialog.Control<CColourButton>(1088);
    dialog.Control<QComboBox>(1086)->setCurrentIndex(1); // "Upper Side", text
    tick->ChoosePalette(3);
    EXPECT_EQ(g_AppSettings.up_text_colour, CColourButton::Palette()[3]);
    prompter.queueColour(ui::Rgb{0x123456});
    dialog.Control<CColourButton>(1089)->ChooseOther(); // NSE text colour through "Other Colors"
    EXPECT_EQ(pv_user_info.segments[0].text_colour, 0x123456u);
    dialog.Control<QPushButton>(1149)->setEnabled(true);
    dialog.Control<QComboBox>(1087)->setCurrentIndex(1);
    dialog.Control<QPushButton>(1149)->click(); // default order type: BSE's id
    EXPECT_EQ(g_AppSettings.default_order_type, 4);
    dialog.OnCancel();
    EXPECT_EQ(std::memcmp(&g_AppSettings, &before, sizeof before), 0);
    EXPECT_EQ(pv_user_info.segments[0].text_colour, 0u);
    EXPECT_TRUE(events.empty()) << "nothing saved";
}

// Ticking "Show Gridlines" only offers the gridline colour: the feed colour
// the user was choosing stays chosen and shown, and the button edits it.
TEST_F(SettingsDialogTest, ShowGridlinesLeavesTheFeedColourChoiceAlone)
{
    g_AppSettings.gridlines = 0;
    g_AppSettings.down_back_colour = 0x0000AA;
    g_AppSettings.gridline_colour = 0x00BB00;
    g_AppSettings.normal_text_colour = 0xCC0000;
    CColorSetting dialog(hooks());
    auto* back = dialog.Control<QRadioButton>(1091);
    auto* gridRadio = dialog.Control<QRadioButton>(1326);
    auto* state = dialog.Control<QComboBox>(1086);
    auto* button = dialog.Control<CColourButton>(1088);
    EXPECT_FALSE(gridRadio->isEnabled());
    back->click();
    state->setCurrentIndex(2); // "Lower Side"
    ASSERT_EQ(button->Colour(), 0x0000AAu);

    dialog.Control<QCheckBox>(1328)->click(); // "Show Gridlines" on
    EXPECT_EQ(g_AppSettings.gridlines, 1);
    EXPECT_TRUE(gridRadio->isEnabled());
    EXPECT_TRUE(back->isChecked());
    EXPECT_FALSE(gridRadio->isChecked());
    EXPECT_TRUE(state->isEnabled());
    EXPECT_EQ(state->currentIndex(), 2);
    EXPECT_EQ(button->Colour(), 0x0000AAu) << "the chosen feed colour is shown";
    button->ChoosePalette(3);
    EXPECT_EQ(g_AppSettings.down_back_colour, CColourButton::Palette()[3]);
    EXPECT_EQ(g_AppSettings.gridline_colour, 0x00BB00u);

    gridRadio->click(); // the user picks the gridlines
    EXPECT_EQ(button->Colour(), 0x00BB00u);
    EXPECT_FALSE(state->isEnabled());

    dialog.Control<QCheckBox>(1328)->click(); // off: the gridline choice goes with it
    EXPECT_EQ(g_AppSettings.gridlines, 0);
    EXPECT_FALSE(gridRadio->isEnabled());
    EXPECT_TRUE(dialog.Control<QRadioButton>(1090)->isChecked());
    EXPECT_EQ(state->currentIndex(), 0);
    EXPECT_TRUE(state->isEnabled());
    EXPECT_EQ(button->Colour(), 0xCC0000u) << "No Change, text";
}

TEST_F(SettingsDialogTest, SwitchingTheTransportReconnectsOnTheTimerAndTheSameOneDoesNothing)
{
    CColorSetting dialog(hooks());
    dialog.Control<QComboBox>(1242)->setCurrentIndex(0); // "Local Feeds" = 5, the current one
    dialog.OnFeedUpdate();
    EXPECT_TRUE(events.empty());
    dialog.Control<QComboBox>(1242)->setCurrentIndex(1); // "Server Feeds"
    dialog.OnFeedUpdate();
    EXPECT_EQ(events, (std::vector<std::string>{"disconnect", "Pls wait for few seconds to ReConnect", "write user config"}));
    EXPECT_EQ(g_Config.Feeds_Type, 2);
    EXPECT_FALSE(dialog.Control<QPushButton>(1250)->isEnabled());
    EXPECT_TRUE(dialog.Timers().running(CColorSetting::kReconnectTimer));
    ASSERT_TRUE(dialog.Timers().fire(CColorSetting::kReconnectTimer)); // ten seconds later
    EXPECT_EQ(events.back(), "connect");
    EXPECT_TRUE(dialog.Control<QPushButton>(1250)->isEnabled());
    EXPECT_FALSE(dialog.Timers().running(CColorSetting::kReconnectTimer));
}

} // namespace
