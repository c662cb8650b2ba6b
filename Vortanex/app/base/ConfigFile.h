#pragma once
// The process-wide configuration: server hosts and ports, the feed transport
// and the services table. Read from Config/Vortanex.ini at start-up, then
// overridden per user from Data/<login id>.bin, which every settings save
// rewrites. Written on the UI thread during start-up and login only; the
// verbosity goes straight into the log writer's Log_Level.
#include <string>
#include <string_view>
#include <vector>

// One service of the broker (the services list's record).
struct ServiceRecord;

struct ConfigRecord {
    char Feeds_Host[128] = {};
    char Trade_Host[128] = {};
    char Watch_Host[128] = {};
    char Security_Host[128] = {}; // empty: Watch_Host serves the downloads
    char Redirect_Url[128] = {};
    int Connect_Type = 0;
    int Feeds_Type = 0;
    char Mcast_IP[128] = {};
    int Mcast_Port = 0;
    char Surv_Ip[128] = {};
    int Surv_Port = 0;
    int Trade_Port = 80;
    int Feed_Port = 80;
    char Market_Data_Host[128] = {};
    char Gcrn[21] = {};
    int Services_Counter = 0;
    // TLS: the file of the authority that signs the broker's certificates
    // (empty: the system's authorities), and 0 to turn certificate checks off
    // for a broker that cannot present a valid certificate.
    char Tls_CA_File[128] = {};
    int Tls_Verify = 1;
    // The services table with the subscribed flags the login sets: the one
    // the services list loads, named here by start-up; null before that.
    const std::vector<ServiceRecord>* services = nullptr;
};

extern ConfigRecord g_Config;

// True when `text` reads back as one value of the per-user file: no blank and
// no control character (either would end the value and start a key of its own).
// An empty text is one value too (the field stays unset).
bool IsSingleToken(std::string_view text);

// Reads Config/Vortanex.ini into g_Config (ports start at 80). 0 when the file
// was read, 1 when it could not be opened.
int ReadConfigFile();

// A key of Vortanex.ini that the start-up does not read ("Key value" or
// "Key=value" lines at a line's start), empty when absent; read when asked, so
// an edit counts without a restart.
std::string ReadConfigValue(std::string_view key);
// "News_Url" of Vortanex.ini when it has a "%s" for the subject, else empty.
std::string ConfiguredNewsUrl();

// At login: loads the user's settings, then overrides g_Config from the
// per-user file (the trading host and port always stay). 1 when the file was
// read, 0 when it is missing or empty, -1 after an exception.
int LoadUserConfigDetails(std::string_view loginId);

// Rewrites the per-user file (named by the user id or, for a nick-name login,
// the nick name) from g_Config, atomically. A text field that is not one
// token is written empty, with a log line, so that it can never add a key.
void WriteUserConfigToDat();
