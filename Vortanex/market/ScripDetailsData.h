#pragma once
// What the scrip-details dialog shows: the label layout for a security, the
// "WD=112" request and the reply's fields placed into the four-column list
// with the computed change and the formats. Pure functions, Qt-free.
#include <array>
#include <string>
#include <string_view>
#include <vector>

struct ScripDetailsKind {
    bool commodity = false;
    bool currency = false;
};

// Rows of four cells: label, value, label, value.
using ScripDetailsRows = std::vector<std::array<std::string, 4>>;

// The labels: 20 rows for a commodity, else 15 (rows 5 and 6 by currency).
ScripDetailsRows ScripDetailsLayout(const ScripDetailsKind& kind);

// "WD=112|<session>|<token>|<exch>|4".
std::string ScripDetailsRequest(std::string_view sessionId, int token, std::string_view exchangeCode);

struct ScripDetailsResult {
    int status = 0;          // the header's status; not 0: `message` is shown, values stay empty
    std::string message;
    bool empty = false;      // no reply at all: nothing is shown
};
// Fills the value cells of `rows` (built by ScripDetailsLayout) from the reply.
ScripDetailsResult ApplyScripDetailsReply(std::string_view reply, const ScripDetailsKind& kind, ScripDetailsRows& rows);

// Edit 1280: the tick size as shown.
std::string ScripDetailsTick(int tick, const ScripDetailsKind& kind);
// Edit 1158: "<display key>~<exchange name>" (an exchange without a name shows its code).
std::string ScripDetailsName(std::string_view displayKey, std::string_view exchangeCode);
