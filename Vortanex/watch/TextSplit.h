#pragma once
// Splitting of the '|', '~', '^' and ',' separated texts of the broker's replies.
#include <string>
#include <string_view>
#include <vector>

// Appends the fields of `text` separated at `sep` to `out`, each trimmed of
// blanks at both ends, empty fields kept. Returns the array's new size.
int SplitString(std::string_view text, char sep, std::vector<std::string>& out);
