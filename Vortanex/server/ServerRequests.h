#pragma once
// Requests beside the request function: the encryption details that decide
// how every later request of the session is encoded and where it goes, the
// web-link list, the session encoder, the percent-encoder for texts that
// travel inside a web address and the segment names of instrument codes.
// They block the calling thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ExchangeCancel;

// One of the broker's web pages offered to the user (fixed widths, zeroed).
struct WebLinkRecord {
    int32_t WebId = 0;         // what "LoginData=1002" sends for this link
    int32_t CommandId = 0;     // filled by the main frame
    char Name[128] = {};       // caption in menus, lists and titles
    char ButtonLabel[32] = {};
    int16_t IconIndex = 0;
    int32_t Number = 0;
    char MainGroup[128] = {};  // the ribbon panel the link is filed under
    // Flags: [0] open mode ('0' embedded, '1' outside browser), [1] client
    // rule ('2' needs a client code), [2] kind 'W', 'B', 'O' or 'T', [3]
    // place ('S' quick access, 'F' feedback page, 'T' off the ribbon).
    char Pref[6] = {};
    char ToolTip[128] = {};
};

// The links of the last successful request. UI thread.
struct WebLinkTable {
    std::vector<WebLinkRecord> links;
    int count() const { return static_cast<int>(links.size()); }
};
extern WebLinkTable g_WebLinkTable;

// The values of the encryption-details reply that nothing else reads.
struct EncryptionDetailsValues {
    std::string text1;
    std::string text2;
    int value1 = 0;
    int value2 = 0;
};
extern EncryptionDetailsValues g_EncryptionDetails;

// "ED=19": sets the session's encryption type and the trading host and port
// from the reply. Returns the reply's status (0 lets the login go on); -1
// for "Invalid Credential" (shown) and for an empty or failed reply (no box).
// With `cancel`, another thread can end the exchange (-1, nothing applied).
int GetEncryptionKeyDetails(ExchangeCancel* cancel = nullptr);

// Encodes text with the session's encryption type into `out`. False (and
// `out` empty) when the type has no encoder or encoding failed.
bool EncryptRequest(std::string_view text, std::string& out);

// "LoginData=1010": refills g_WebLinkTable. Returns 0, or -1 when the reply's
// header reports an error (the table is then empty).
int GetWebLinks();

// Percent-encodes a text for a web address: '%', the unsafe characters and
// control characters always, the reserved characters "$&+,./:;=?@-_!*()'"
// when `reserved` is set. Bytes from 0x80 are Hebrew code-page characters and
// become the percent forms of every byte of their UTF-8 sequence.
std::string UrlEncode(std::string_view text, bool reserved);

// The exchanges of an instrument code: "NSE-FX", "MCX-CM" or "NSE|BSE".
std::string GetSegmentExchanges(std::string_view instrument);
