#pragma once
// The text a popup note carries: '|'-separated fields numbered from 0 -
// kind, side, message text, extra text, the address a click opens, event id,
// an optional title and an optional link text. Fields are escaped ('\' before
// a '|' or '\' inside a field), so a '|' in a message or in server text can
// never shift the address into another field; a text without either
// character reads exactly as the plain '|' format.
#include <string>
#include <string_view>
#include <vector>

struct UserPopupFields {
    long kind = 0;
    char side = ' ';
    std::string text;
    std::string extra;
    std::string address;
    long eventId = 0;
    std::string title;    // field 6, optional
    std::string linkText; // field 7, optional
    int fieldCount = 6;   // how many fields the text had
};

// "%ld|%c|%s|%s|%s|%ld" (the extra field empty when there is none), then the
// title and link fields when either is set.
std::string FormatUserPopupText(const UserPopupFields& fields);

// Splits at unescaped '|' and unescapes each field.
std::vector<std::string> SplitPopupFields(std::string_view text);

// The popup to show: false when the text has fewer than six fields. The title
// is field 6 when present; the link text is field 7 when present and
// non-empty, else the address.
bool ParseUserPopupText(std::string_view text, UserPopupFields& out);
