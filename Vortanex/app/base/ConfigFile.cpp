#include "app/base/ConfigFile.h"

#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/ListRecords.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"


#include "pf/files.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

ConfigRecord g_Config;

namespace config_file_detail {
namespace {

// Blank-separated tokens of at most maxLength characters; a longer run of
// non-blanks continues as the next token, as a width-limited scan would read it.
class TokenReader {
public:
    TokenReader(std::string_view text, size_t maxLength) : m_text(text), m_max(maxLength) {}

    std::optional<std::string_view> next()
    {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos]))
            ++m_pos;
        if (m_pos >= m_text.size())
            return std::nullopt;
        const size_t start = m_pos;
        while (m_pos < m_text.size() && !isBlank(m_text[m_pos]) && m_pos - start < m_max)
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }

private:
    // A NUL (a damaged file) separates too: no text field can hold one.
    static bool isBlank(char c)
    {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == '\0';
    }

    std::string_view m_text;
    size_t m_max;
    size_t m_pos = 0;
};

// The usual decimal conversion: optional sign, leading digits, 0 without any;
// out-of-range values are held at the int limits.
int decimalValue(std::string_view token)
{
    if (!token.empty() && token.front() == '+')
        token.remove_prefix(1);
    long long value = 0;
    std::from_chars(token.data(), token.data() + token.size(), value);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int>(value);
}

enum class Kind { Text, Number, Level, Dropped };

struct Key {
    const char* name;
    Kind kind;
    char* text = nullptr;
    size_t textSize = 0; // the field's size, terminator included
    int* number = nullptr;
};

template <size_t N>
Key textKey(const char* name, char (&field)[N])
{
    return Key{name, Kind::Text, field, N, nullptr};
}

Key numberKey(const char* name, int& field)
{
    return Key{name, Kind::Number, nullptr, 0, &field};
}

const Key* findKey(std::string_view token, const std::vector<Key>& keys)
{
    for (const Key& k : keys)
        if (token == k.name)
            return &k;
    return nullptr;
}

// The names the per-user file writes that its reader does not take: "Mcast_Ip"
// (the reader knows "Mcast_IP"), the second address and port, and the service
// lines "Service_<id>".
bool isWrittenOnlyName(std::string_view token)
{
    if (token == "Mcast_Ip" || token == "Surv_Ip" || token == "Surv_Port")
        return true;
    constexpr std::string_view kService = "Service_";
    if (token.size() <= kService.size() || token.substr(0, kService.size()) != kService)
        return false;
    for (char c : token.substr(kService.size()))
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Reads key/value tokens into the fields of `keys`: '#' tokens are skipped
// alone, unknown tokens are skipped, empty values are ignored, long texts are
// cut to their field with a log line. With `keyEndsValue` a value token that
// is itself one of the file's names is no value: the per-user file writes an
// empty field as its name alone on the line ("Security_Host \n"), and the
// name on the next line must stay a name rather than become the value.
void readTokens(std::string_view text, size_t maxToken, const std::vector<Key>& keys, bool keyEndsValue = false)
{
    TokenReader reader(text, maxToken);
    std::optional<std::string_view> pending; // a name read where a value was due
    while (true) {
        std::optional<std::string_view> token = pending ? pending : reader.next();
        pending.reset();
        if (!token)
            break;
        if (token->front() == '#')
            continue;
        const Key* key = findKey(*token, keys);
        if (!key)
            continue;
        const auto value = reader.next();
        if (!value || value->empty())
            continue;
        if (keyEndsValue && (findKey(*value, keys) || isWrittenOnlyName(*value))) {
            pending = value;
            continue;
        }
        switch (key->kind) {
        case Kind::Text: {
            const size_t n = value->size() < key->textSize - 1 ? value->size() : key->textSize - 1;
            std::memcpy(key->text, value->data(), n);
            std::memset(key->text + n, 0, key->textSize - n);
            if (n < value->size())
                WriteLog(0, std::string("Value of ") + key->name + " cut to " + std::to_string(n) + " characters");
            break;
        }
        case Kind::Number:
            *key->number = decimalValue(*value);
            break;
        case Kind::Level:
            Log_Level.store(decimalValue(*value));
            break;
        case Kind::Dropped:
            break;
        }
    }
}


// The user's name for the per-user files: the nick name for a nick-name
// login, the user id otherwise.
std::string_view sessionLoginName()
{
    if (pv_user_info.id_kind == 2)
        return FixedTextView(pv_user_info.nick_name);
    return FixedTextView(pv_user_info.user_id);
}

// The field's text as the per-user file may hold it: empty when it would
// read back as more than one token.
std::string writableText(const char* name, std::string_view text)
{
    // The characters the reader splits at (the replies' own checks refuse
    // every control character before a value is kept).
    if (text.find_first_of(std::string_view(" \t\n\r\v\f\0", 7)) == std::string_view::npos)
        return std::string(text);
    WriteLog(0, std::string("Value of ") + name + " holds a blank or a line break; written empty");
    return {};
}

} // namespace
} // namespace config_file_detail

bool IsSingleToken(std::string_view text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F)
            return false;
    }
    return true;
}

int ReadConfigFile()
{
    Log_Level.store(0);
    g_Config.Connect_Type = 0;
    g_Config.Feeds_Type = 0;
    g_Config.Trade_Port = 80;
    g_Config.Feed_Port = 80;
    g_Config.Tls_CA_File[0] = '\0';
    g_Config.Tls_Verify = 1;

    const auto text = pf::files::readAll(ProgramPaths().config() / "Vortanex.ini");
    if (!text)
        return 1;
    using config_file_detail::numberKey;
    using config_file_detail::textKey;
    const std::vector<config_file_detail::Key> keys = {
        textKey("Feeds_Host", g_Config.Feeds_Host),
        textKey("Trade_Host", g_Config.Trade_Host),
        textKey("Watch_Host", g_Config.Watch_Host),
        textKey("Security_Host", g_Config.Security_Host),
        textKey("Redirect_Url", g_Config.Redirect_Url),
        config_file_detail::Key{"Log_Level", config_file_detail::Kind::Level},
        numberKey("Connect_Type", g_Config.Connect_Type),
        numberKey("Feeds_Type", g_Config.Feeds_Type),
        textKey("Mcast_IP", g_Config.Mcast_IP),
        numberKey("Mcast_Port", g_Config.Mcast_Port),
        numberKey("Trade_Port", g_Config.Trade_Port),
        numberKey("Feed_Port", g_Config.Feed_Port),
        textKey("Tls_CA_File", g_Config.Tls_CA_File),
        numberKey("Tls_Verify", g_Config.Tls_Verify),
    };
    config_file_detail::readTokens(*text, 100, keys);
    return 0;
}

std::string ReadConfigValue(std::string_view key)
{
    const auto text = pf::files::readAll(ProgramPaths().config() / "Vortanex.ini");
    if (!text || key.empty())
        return {};
    size_t at = 0;
    while ((at = text->find(key, at)) != std::string::npos) {
        const bool lineStart = at == 0 || (*text)[at - 1] == '\n';
        at += key.size();
        if (!lineStart || at >= text->size() || (text->at(at) != ' ' && text->at(at) != '\t' && text->at(at) != '='))
            continue;
        const size_t b = text->find_first_not_of(" \t=", at);
        if (b == std::string::npos)
            return {};
        const size_t e = text->find_first_of("\r\n", b);
        std::string value = text->substr(b, e == std::string::npos ? std::string::npos : e - b);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        return value;
    }
    return {};
}

std::string ConfiguredNewsUrl()
{
    std::string url = ReadConfigValue("News_Url");
    return url.find("%s") != std::string::npos ? url : std::string();
}

int LoadUserConfigDetails(std::string_view loginId)
{
    try {
        WriteLog(0, "Entry : LoadUserConfigDetails");
        GetProxyDetails(1, loginId);
        CurrentSettingsHost().applyTheme(g_AppSettings.theme);
        CurrentSettingsHost().broadcastSettings(2);

        const std::string name(loginId.empty() ? config_file_detail::sessionLoginName() : loginId);
        bool read = false;
        if (IsPlainFileName(name)) {
            const auto path = UserFilePath(ProgramPaths().data(), name + ".bin");
            WriteLog(0, path.string());
            const int64_t size = pf::files::size(path);
            NoteUserFileKnown(path);
            if (size >= 0) {
                char line[200];
                const std::string_view userId = FixedTextView(pv_user_info.user_id);
                std::snprintf(line, sizeof line, "%.*s.bin File Size :%d = %d", static_cast<int>(userId.size()),
                              userId.data(), static_cast<int>(size), 1088);
                WriteLog(0, line);
            }
            if (size > 0) {
                if (const auto text = pf::files::readAll(path)) {
                    // The trading host and port always come from the
                    // configuration file and the login reply: their values are
                    // read here only to be dropped.
                    int droppedPort = 0;
                    char droppedHost[128];
                    using config_file_detail::numberKey;
                    using config_file_detail::textKey;
                    const std::vector<config_file_detail::Key> keys = {
                        textKey("Feeds_Host", g_Config.Feeds_Host),
                        textKey("Trade_Host", droppedHost),
                        textKey("Watch_Host", g_Config.Watch_Host),
                        textKey("Security_Host", g_Config.Security_Host),
                        textKey("Redirect_Url", g_Config.Redirect_Url),
                        config_file_detail::Key{"Log_Level", config_file_detail::Kind::Level},
                        numberKey("Connect_Type", g_Config.Connect_Type),
                        numberKey("Feeds_Type", g_Config.Feeds_Type),
                        textKey("Mcast_IP", g_Config.Mcast_IP),
                        numberKey("Mcast_Port", g_Config.Mcast_Port),
                        numberKey("Trade_Port", droppedPort),
                        numberKey("Feed_Port", g_Config.Feed_Port),
                        textKey("Market_Data_Host", g_Config.Market_Data_Host),
                        textKey("Gcrn", g_Config.Gcrn),
                        numberKey("Services_Counter", g_Config.Services_Counter),
                    };
                    config_file_detail::readTokens(*text, 128, keys, true);
                    read = true;
                }
            }
        } else {
            WriteLog(0, "Login id [" + name + "] does not name a per-user file");
        }
        if (!read) {
            WriteLog(0, "Setting Default Setting");
            return 0;
        }
        char line[600];
        const int serviceCount = g_Config.services ? static_cast<int>(g_Config.services->size()) : 0;
        std::snprintf(line, sizeof line, "[%s][%d][%s][%d][%d]", g_Config.Trade_Host, g_Config.Trade_Port,
                      g_Config.Feeds_Host, g_Config.Feed_Port, serviceCount);
        WriteLog(0, line);
        WriteLog(0, "Exit : LoadUserConfigDetails");
        return 1;
    } catch (...) {
        WriteLog(0, "Exception in LoadUserConfigDetails");
        return -1;
    }
}

void WriteUserConfigToDat()
{
    try {
        const std::string name(config_file_detail::sessionLoginName());
        if (!IsPlainFileName(name))
            return;
        const auto path = UserFilePath(ProgramPaths().data(), name + ".bin");
        WriteLog(0, path.string());

        const ConfigRecord& c = g_Config;
        const auto text_of = [](const char* key, const auto& field) {
            return config_file_detail::writableText(key, FixedTextView(field));
        };
        char head[2048];
        const int n = std::snprintf(
            head, sizeof head,
            "Feeds_Host %s\nTrade_Host %s\nWatch_Host %s\nSecurity_Host %s\nRedirect_Url %s\nLog_Level %d\n"
            "Connect_Type %d\nFeeds_Type %d\nMcast_Ip %s\nMcast_Port %d\nSurv_Ip %s\nSurv_Port %d\nTrade_Port %d\n"
            "Feed_Port %d\nMarket_Data_Host %s\nGcrn %s\nServices_Counter %d\n",
            text_of("Feeds_Host", c.Feeds_Host).c_str(), text_of("Trade_Host", c.Trade_Host).c_str(),
            text_of("Watch_Host", c.Watch_Host).c_str(), text_of("Security_Host", c.Security_Host).c_str(),
            text_of("Redirect_Url", c.Redirect_Url).c_str(), Log_Level.load(), c.Connect_Type, c.Feeds_Type,
            text_of("Mcast_Ip", c.Mcast_IP).c_str(), c.Mcast_Port, text_of("Surv_Ip", c.Surv_Ip).c_str(),
            c.Surv_Port, c.Trade_Port, c.Feed_Port, text_of("Market_Data_Host", c.Market_Data_Host).c_str(),
            text_of("Gcrn", c.Gcrn).c_str(), c.Services_Counter);
        std::string text(head, n > 0 ? static_cast<size_t>(n) : 0);
        if (c.services) {
            for (const ServiceRecord& s : *c.services) {
                char line[64];
                std::snprintf(line, sizeof line, "Service_%d %d\n", s.id, s.subscribed);
                text += line;
            }
        }
        if (!MayWriteUserFile(path)) {
            WriteLog(0, "Not written over the unread " + path.string());
            return;
        }
        if (!WriteSettingsFile(path, text))
            WriteLog(0, "Could not write " + path.string());
        NoteUserFileKnown(path);
    } catch (...) {
        WriteLog(0, "Exception in WriteUserConfigToDat");
    }
}
