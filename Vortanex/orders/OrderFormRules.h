#pragma once
// Rules of the order form's reactions that need no widgets: the refusal of
// smart order routing, the desktop browser's command and the address of the
// "Estimated Charges" page.
#include <cstdint>
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

// Up or Down held in a spin's box: a held key repeats within a fraction of a
// second, so presses closer than 600 ms in one direction are one hold. After
// 3 s of holding, the spin steps by its larger step.
struct HeldKeyTracker {
    int64_t startMs = 0;
    int64_t lastMs = -100000;
    int direction = 0;
    // Records a press; true when the hold has lasted more than 3 s.
    bool press(int dir, int64_t nowMs);
};

// One step of a price spin (the price box, the spread, the book profit):
// down stops at 0; a step up past `limit` (the Order Value Limit; 0 = none)
// leaves the value as it is.
double PriceSpinStep(double value, int direction, double step, double limit);
