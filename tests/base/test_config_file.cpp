#include "app/base/ConfigFile.h"

#include "config_test_support.h"
#include "server/CompanionLists.h"

#include <cstring>

namespace {

using ConfigFileTest = ProgramFolderTest;

TEST_F(ConfigFileTest, ReadsEveryKeyAndAppliesTheTokenRules)
{
    write(paths.config() / "Vortanex.ini",
          "# hosts of the demo broker\n"
          "Feeds_Host feeds.example\nTrade_Host trade.example\nWatch_Host watch.example\n"
          "Security_Host sec.example\nRedirect_Url https://web.example\n"
          "Log_Level 3 Connect_Type 2\tFeeds_Type 4\n"
          "Mcast_IP 239.1.1.1 Mcast_Port 5000\n"
          "#Watch_Host commented.example\n"  // the '#' token goes alone, its value is an unknown token
          "trade_host lower.example\n"       // keys are case-sensitive
          "Redirect_Url\n");                 // a key without a value at the end changes nothing
    ASSERT_EQ(ReadConfigFile(), 0);
    EXPECT_STREQ(g_Config.Feeds_Host, "feeds.example");
    EXPECT_STREQ(g_Config.Trade_Host, "trade.example");
    EXPECT_STREQ(g_Config.Watch_Host, "watch.example");
    EXPECT_STREQ(g_Config.Security_Host, "sec.example");
    EXPECT_STREQ(g_Config.Redirect_Url, "https://web.example");
    EXPECT_EQ(Log_Level.load(), 3);
    EXPECT_EQ(g_Config.Connect_Type, 2);
    EXPECT_EQ(g_Config.Feeds_Type, 4);
    EXPECT_STREQ(g_Config.Mcast_IP, "239.1.1.1");
    EXPECT_EQ(g_Config.Mcast_Port, 5000);
    EXPECT_EQ(g_Config.Trade_Port, 80) << "a missing port stays 80";
    EXPECT_EQ(g_Config.Feed_Port, 80);
}

TEST_F(ConfigFileTest, NumbersReadLikeAtoiAndLongTokensSplit)
{
    const std::string longHost(130, 'h');
    write(paths.config() / "Vortanex.ini",
          "Log_Level abc Trade_Port 8080x Feed_Port -12 Feeds_Type 99999999999\nFeeds_Host " + longHost + "\n");
    ASSERT_EQ(ReadConfigFile(), 0);
    EXPECT_EQ(Log_Level.load(), 0);
    EXPECT_EQ(g_Config.Trade_Port, 8080);
    EXPECT_EQ(g_Config.Feed_Port, -12);
    EXPECT_EQ(g_Config.Feeds_Type, INT32_MAX);
    EXPECT_EQ(std::string(g_Config.Feeds_Host), std::string(100, 'h')) << "the first 100 characters are one token";
}

TEST_F(ConfigFileTest, TlsKeysDefaultToVerifyingAndAreReadBack)
{
    write(paths.config() / "Vortanex.ini", "Trade_Host t.example\n");
    ASSERT_EQ(ReadConfigFile(), 0);
    EXPECT_STREQ(g_Config.Tls_CA_File, "");
    EXPECT_EQ(g_Config.Tls_Verify, 1) << "certificates are checked unless the file says otherwise";

    write(paths.config() / "Vortanex.ini", "Tls_CA_File /etc/broker/ca.pem Tls_Verify 0\n");
    ASSERT_EQ(ReadConfigFile(), 0);
    EXPECT_STREQ(g_Config.Tls_CA_File, "/etc/broker/ca.pem");
    EXPECT_EQ(g_Config.Tls_Verify, 0);

    write(paths.config() / "Vortanex.ini", "Trade_Host t.example\n");
    ASSERT_EQ(ReadConfigFile(), 0);
    EXPECT_EQ(g_Config.Tls_Verify, 1) << "a second read starts from the defaults again";
    EXPECT_STREQ(g_Config.Tls_CA_File, "");
}

TEST_F(ConfigFileTest, LaterKeysAreReadWhenAsked)
{
    write(paths.config() / "Vortanex.ini",
          "Trade_Host t.example\nCalc_Program_Old x\n  Sheet_Headless 1\nCalc_Program=/opt/calc/soffice  \r\n"
          "News_Url https://news.example/q?s=%s\n");
    EXPECT_EQ(ReadConfigValue("Calc_Program"), "/opt/calc/soffice") << "a longer key or an indented line is not it";
    EXPECT_EQ(ReadConfigValue("Sheet_Headless"), "");
    EXPECT_EQ(ReadConfigValue("Missing"), "");
    EXPECT_EQ(ConfiguredNewsUrl(), "https://news.example/q?s=%s");

    write(paths.config() / "Vortanex.ini", "News_Url https://news.example/latest\n");
    EXPECT_EQ(ConfiguredNewsUrl(), "") << "an address without the subject's place is not used";
}

TEST_F(ConfigFileTest, MissingFileFails)
{
    EXPECT_EQ(ReadConfigFile(), 1);
    EXPECT_EQ(g_Config.Trade_Port, 80);
}

TEST_F(ConfigFileTest, PerUserFileIsWrittenExactlyAndReadBackWithItsAsymmetries)
{
    CopyFixedText(pv_user_info.user_id, "U100");
    pv_user_info.id_kind = 1;
    ConfigRecord& c = g_Config;
    CopyFixedText(c.Feeds_Host, "f.h");
    CopyFixedText(c.Trade_Host, "t.h");
    CopyFixedText(c.Watch_Host, "w.h");
    CopyFixedText(c.Security_Host, "s.h");
    CopyFixedText(c.Redirect_Url, "r.u");
    Log_Level.store(1);
    c.Connect_Type = 2;
    c.Feeds_Type = 3;
    CopyFixedText(c.Mcast_IP, "239.0.0.9");
    c.Mcast_Port = 4000;
    CopyFixedText(c.Surv_Ip, "10.0.0.1");
    c.Surv_Port = 4001;
    c.Trade_Port = 8443;
    c.Feed_Port = 9000;
    CopyFixedText(c.Market_Data_Host, "m.h");
    CopyFixedText(c.Gcrn, "CRN42");
    c.Services_Counter = 6;
    std::vector<ServiceRecord> services(2);
    services[0].id = 11;
    services[0].subscribed = 1;
    services[1].id = 12;
    c.services = &services;

    WriteUserConfigToDat();
    EXPECT_EQ(read(paths.data() / "U100.bin"),
              "Feeds_Host f.h\nTrade_Host t.h\nWatch_Host w.h\nSecurity_Host s.h\nRedirect_Url r.u\nLog_Level 1\n"
              "Connect_Type 2\nFeeds_Type 3\nMcast_Ip 239.0.0.9\nMcast_Port 4000\nSurv_Ip 10.0.0.1\nSurv_Port 4001\n"
              "Trade_Port 8443\nFeed_Port 9000\nMarket_Data_Host m.h\nGcrn CRN42\nServices_Counter 6\n"
              "Service_11 1\nService_12 0\n");

    // A fresh start: the configuration file's values, then the user's file.
    g_Config = ConfigRecord{};
    g_Config.services = &services;
    Log_Level.store(0);
    write(paths.config() / "Vortanex.ini", "Trade_Host cfg.trade Trade_Port 81 Mcast_IP 239.9.9.9\n");
    ASSERT_EQ(ReadConfigFile(), 0);
    EXPECT_EQ(LoadUserConfigDetails("U100"), 1);

    EXPECT_STREQ(c.Feeds_Host, "f.h");
    EXPECT_STREQ(c.Watch_Host, "w.h");
    EXPECT_STREQ(c.Security_Host, "s.h");
    EXPECT_STREQ(c.Redirect_Url, "r.u");
    EXPECT_EQ(Log_Level.load(), 1);
    EXPECT_EQ(c.Connect_Type, 2);
    EXPECT_EQ(c.Feeds_Type, 3);
    EXPECT_EQ(c.Mcast_Port, 4000);
    EXPECT_EQ(c.Feed_Port, 9000);
    EXPECT_STREQ(c.Market_Data_Host, "m.h");
    EXPECT_STREQ(c.Gcrn, "CRN42");
    EXPECT_EQ(c.Services_Counter, 6);
    // Not taken from the user's file: the trading host and port, and the
    // lines written under names the reader does not know.
    EXPECT_STREQ(c.Trade_Host, "cfg.trade");
    EXPECT_EQ(c.Trade_Port, 81);
    EXPECT_STREQ(c.Mcast_IP, "239.9.9.9");
    EXPECT_STREQ(c.Surv_Ip, "");
    EXPECT_EQ(c.Surv_Port, 0);
    EXPECT_NE(logText().find("Exit : LoadUserConfigDetails"), std::string::npos);
}

// Each text field empty in turn: the writer leaves the name alone on its line
// (the file's fixed form), and the next line's name must not become the value.
// The same bytes are what every earlier version wrote, so old files read too.
TEST_F(ConfigFileTest, PerUserFileReadsBackWithEachTextFieldEmpty)
{
    CopyFixedText(pv_user_info.user_id, "U7");
    pv_user_info.id_kind = 1;
    std::vector<ServiceRecord> services(1);
    services[0].id = 4;
    services[0].subscribed = 1;
    const auto full = [&] {
        ConfigRecord c;
        CopyFixedText(c.Feeds_Host, "f.h");
        CopyFixedText(c.Trade_Host, "t.h");
        CopyFixedText(c.Watch_Host, "w.h");
        CopyFixedText(c.Security_Host, "s.h");
        CopyFixedText(c.Redirect_Url, "r.u");
        c.Connect_Type = 2;
        c.Feeds_Type = 3;
        CopyFixedText(c.Mcast_IP, "239.0.0.9");
        c.Mcast_Port = 4000;
        CopyFixedText(c.Surv_Ip, "10.0.0.1");
        c.Surv_Port = 4001;
        c.Trade_Port = 8443;
        c.Feed_Port = 9000;
        CopyFixedText(c.Market_Data_Host, "m.h");
        CopyFixedText(c.Gcrn, "CRN42");
        c.Services_Counter = 6;
        c.services = &services;
        return c;
    };
    struct Case {
        const char* name;
        char* (*field)(ConfigRecord&);
    };
    const Case cases[] = {
        {"Feeds_Host", [](ConfigRecord& c) { return c.Feeds_Host; }},
        {"Trade_Host", [](ConfigRecord& c) { return c.Trade_Host; }},
        {"Watch_Host", [](ConfigRecord& c) { return c.Watch_Host; }},
        {"Security_Host", [](ConfigRecord& c) { return c.Security_Host; }},
        {"Redirect_Url", [](ConfigRecord& c) { return c.Redirect_Url; }},
        {"Mcast_IP", [](ConfigRecord& c) { return c.Mcast_IP; }},
        {"Surv_Ip", [](ConfigRecord& c) { return c.Surv_Ip; }},
        {"Market_Data_Host", [](ConfigRecord& c) { return c.Market_Data_Host; }},
        {"Gcrn", [](ConfigRecord& c) { return c.Gcrn; }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ConfigRecord written = full();
        k.field(written)[0] = '\0';
        g_Config = written;
        Log_Level.store(1);
        WriteUserConfigToDat();

        // A start whose configuration file names no host at all.
        g_Config = ConfigRecord{};
        Log_Level.store(0);
        ASSERT_EQ(LoadUserConfigDetails("U7"), 1);
        const ConfigRecord& r = g_Config;
        EXPECT_STREQ(r.Feeds_Host, written.Feeds_Host);
        EXPECT_STREQ(r.Watch_Host, written.Watch_Host);
        EXPECT_STREQ(r.Security_Host, written.Security_Host);
        EXPECT_STREQ(r.Redirect_Url, written.Redirect_Url);
        EXPECT_STREQ(r.Market_Data_Host, written.Market_Data_Host);
        EXPECT_STREQ(r.Gcrn, written.Gcrn);
        EXPECT_EQ(Log_Level.load(), 1);
        EXPECT_EQ(r.Connect_Type, 2);
        EXPECT_EQ(r.Feeds_Type, 3);
        EXPECT_EQ(r.Mcast_Port, 4000);
        EXPECT_EQ(r.Feed_Port, 9000);
        EXPECT_EQ(r.Services_Counter, 6);
        // Still never taken from this file.
        EXPECT_STREQ(r.Trade_Host, "");
        EXPECT_EQ(r.Trade_Port, 80);
        EXPECT_STREQ(r.Mcast_IP, "");
    }
}

TEST_F(ConfigFileTest, PerUserFileMissingEmptyOrOversizedValues)
{
    EXPECT_EQ(LoadUserConfigDetails("nobody"), 0);
    write(paths.data() / "empty.bin", "");
    EXPECT_EQ(LoadUserConfigDetails("empty"), 0);
    EXPECT_NE(logText().find("Setting Default Setting"), std::string::npos);

    // Values longer than their fields are cut, never left unterminated.
    write(paths.data() / "big.bin", "Gcrn " + std::string(40, 'g') + "\nFeeds_Host " + std::string(128, 'f') + "\n");
    EXPECT_EQ(LoadUserConfigDetails("big"), 1);
    EXPECT_EQ(std::string(g_Config.Gcrn), std::string(20, 'g'));
    EXPECT_EQ(std::string(g_Config.Feeds_Host), std::string(127, 'f'));
    EXPECT_NE(logText().find("Value of Gcrn cut to 20 characters"), std::string::npos);

    // A NUL byte (a damaged file) ends a token like a blank: a text field
    // cannot hold it, and the name after it is a name, not a value cut short.
    g_Config = ConfigRecord{};
    write(paths.data() / "nul.bin", std::string("Security_Host Redirect_Url\0https://web.example\nGcrn G1\0G2\n", 58));
    EXPECT_EQ(LoadUserConfigDetails("nul"), 1);
    EXPECT_STREQ(g_Config.Security_Host, "");
    EXPECT_STREQ(g_Config.Redirect_Url, "https://web.example");
    EXPECT_STREQ(g_Config.Gcrn, "G1");

    // A login id never names a file outside Data.
    write(paths.root() / "escape.bin", "Feeds_Host evil\n");
    EXPECT_EQ(LoadUserConfigDetails("../escape"), 0);
    EXPECT_NE(std::string(g_Config.Feeds_Host), "evil");
}

TEST_F(ConfigFileTest, PerUserFileFollowsTheLoginKind)
{
    CopyFixedText(pv_user_info.user_id, "U1");
    CopyFixedText(pv_user_info.nick_name, "nick");
    pv_user_info.id_kind = 2;
    WriteUserConfigToDat();
    EXPECT_TRUE(pf::files::exists(paths.data() / "nick.bin"));
    EXPECT_FALSE(pf::files::exists(paths.data() / "U1.bin"));

    // With no login id given, the reader takes the same name, after the
    // user's settings are loaded, applied to the frame and broadcast.
    struct Host final : SettingsHost {
        void applyTheme(int theme) override { themes.push_back(theme); }
        void broadcastSettings(int code) override { codes.push_back(code); }
        std::vector<int> themes, codes;
    } host;
    SetSettingsHost(&host);
    SetDefaultSettings();
    g_AppSettings.theme = 32838;
    CopyFixedText(g_AppSettings.proxy_user, "nickproxy");
    SaveSettings();
    g_AppSettings = AppSettings{};
    write(paths.data() / "nick.bin", "Watch_Host nick.watch\n");
    EXPECT_EQ(LoadUserConfigDetails(""), 1);
    EXPECT_STREQ(g_Config.Watch_Host, "nick.watch");
    EXPECT_STREQ(g_AppSettings.proxy_user, "nickproxy");
    EXPECT_EQ(host.themes, std::vector<int>{32838});
    EXPECT_EQ(host.codes, std::vector<int>{2});
}

} // namespace
