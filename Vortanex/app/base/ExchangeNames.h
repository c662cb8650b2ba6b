#pragma once
// The names the program shows for the exchange codes of the security master
// ("NN" is "NSE"). Some windows name fewer exchanges than others (the scrip
// search lists only those it can search); they pass the codes they name.
#include <initializer_list>
#include <string_view>

// The exchange's name, "" for a code the program does not name.
const char* ExchangeDisplayName(std::string_view code);

// The same for the codes in `named` only; "" for any other.
const char* ExchangeDisplayName(std::string_view code, std::initializer_list<std::string_view> named);
