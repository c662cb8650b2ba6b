#pragma once
// The broker's pages that order entry opens in the desktop browser by the
// name of their web link ("Estimated Charges" of the order and basket forms,
// "Terms and Conditions" of a research-call order): the page request carries
// the user, the active client, the link's id and the client code typed in the
// form, encrypted when the login asks for it. UI thread.
#include <string>

// Opens the page; false (and the log line "weblink id not found") when the
// web-link table has no link of that name, or when the address cannot be
// made (a request that cannot be encoded, a base that is not http/https).
bool OpenWebLinkPage(const std::string& linkName, const std::string& typedClient);
