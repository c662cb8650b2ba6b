#pragma once
// Rules of the order form's reactions that need no widgets: the refusal of
// smart order routing, the desktop browser's command and the address of the
// "Estimated Charges" page.
#include <string>

// Empty when a smart-routed order may be placed with this validity, order
// mark and AMO choice, else the refusal ("Cannot Place Smart Order as ...").
// `info` tells whether the refusal takes the information icon.
std::string SorRefusal(const std::string& validity, const std::string& markName, bool amo, bool* info = nullptr);

// The browser command with " %1" appended when it has no "%1".
std::string BrowserCommandWithArgument(const std::string& command);

// The request text of the charges page: "LoginData=1002|<user id>|<client
// id>|<link id>&ClientUserId=<client code>", the typed client code
// percent-encoded so that it cannot add a parameter of its own.
std::string EstimatedChargesText(const std::string& userId, const std::string& clientId, int linkId,
                                 const std::string& clientCode);
// "<base>/qtrade/qlogin.exe?<query>"; empty when base is not an http or
// https address.
std::string EstimatedChargesAddress(const std::string& base, const std::string& query);
