#pragma once
// The one field splitter of the terminal: replies, feed payloads, list files
// and stored lines are all cut into fields with it.
#include <string>
#include <string_view>
#include <vector>

// Appends the fields of `text` separated at `sep` to the end of `out`; nothing
// already in `out` is removed. n separators always give n + 1 fields, empty
// fields included, each trimmed of blanks (0x20 only) at both ends. An empty
// text is one empty field. Returns the array's size after the call, or -1 when
// memory ran out (then `out` is left as it was).
int SplitString(std::string_view text, char sep, std::vector<std::string>& out);

// The fields of `text` at `sep` exactly as they stand (nothing trimmed): n
// separators give n + 1 fields, an empty text one empty field.
std::vector<std::string> SplitFields(std::string_view text, char sep);

// A CSV cell, the one way every export writes one: the text as it is, or in
// double quotes (inner quotes doubled) when it holds ',', '"' or a line end.
// A text a spreadsheet would run as a formula (starting with '=', '+', '@',
// or '-' when it is no number) gets a leading apostrophe, so it shows as
// text; numbers ("-12.50", "+3", "1,234.50") and a lone "-" stay as they are.
std::string CsvField(std::string_view text);

// Remove the leading, respectively trailing, blanks of a writable
// NUL-terminated buffer in place. Tabs and line ends are not blanks.
void TrimLeftSpaces(char* buffer);
void TrimRightSpaces(char* buffer);

// The same on a string.
void TrimLeftSpaces(std::string& text);
void TrimRightSpaces(std::string& text);
