#pragma once
// The broker's broadcast information: the options-list advisory (feed code
// 141), the live advisory calls (145), the day's product events (155) and the
// reference-rate broadcast (160), built from the universe's records; and the
// day-event acceptance "LoginData=1013". Tests push the messages through
// TestBroker::pushFeed; the demo market sends one call and one event to each
// logged-in feed client and closes the call later.
#include "RequestDecoder.h"
#include "Universe.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tb {

class InformationDesk {
public:
    static constexpr const char* kAcceptText = "Your participation in the day's event is recorded";
    static constexpr const char* kRefuseText = "The event is closed for acceptance";
    static constexpr int kDemoCallId = 7001;
    static constexpr int kDemoProductId = 501;
    static constexpr int kDemoOpenTick = 3; // demo: the call and the event go out on this feed tick
    static constexpr int kDemoCloseTick = 120; // and the call closes on this one

    explicit InformationDesk(const Universe& universe);

    // The security of the advisory calls (an NSE equity) and of the options
    // advisory (an NSE option).
    const Security& advisorySecurity() const;
    const Security& optionSecurity() const;

    // "141|<marker>|<text>|<status>|<exchange token>|<exchange code>".
    std::string derivaneAdvice(bool report, int status = 1) const;
    // "145|..." of 29 fields (fields 0-28): 1 side, 2 scrip code, 4 BUY/SELL,
    // 5 text, 12 status ("Open" or "Closed"), 13 call id, 19 symbol, 25
    // target, 26 stop loss, 28 a number. fieldCount < 29 cuts it.
    std::string advisoryCall(int callId, bool closed, bool buy = true, int fieldCount = 29) const;
    // "155|..." of 13 fields: 1 state, 2 product id, 8 name, 9 text, 10 show,
    // 11 terms link, 12 accept. State 2 withdraws.
    std::string dayEvent(int productId, int state = 1, char show = 'Y', char accept = 'Y',
                         const std::string& name = "Diwali Muhurat Offer") const;
    static std::string dayEventText(int productId);
    // "160|160|<count>~<wtoken>|<paise>,..." for the currency futures.
    std::string refRates() const;

    // The "T & C" address of the events (the broker's own page).
    void setTermsLink(std::string link);
    std::string termsLink() const;

    // "LoginData=1013|session|user|client|1|4|ip|id|last": records the id;
    // "1013|0|<text>", or "1013|1|<text>" while refusing.
    std::string accept(const RequestText& r);
    void refuseAccepts(bool on);
    std::vector<int> acceptedIds() const;

    // The demo's messages for a client on its n-th feed tick after login.
    std::vector<std::string> demoMessages(int64_t tick) const;

private:
    const Universe& m_universe;
    const Security* m_advisory = nullptr;
    const Security* m_option = nullptr;
    mutable std::mutex m_mutex;
    std::string m_termsLink; // guarded by m_mutex
    bool m_refuse = false; // guarded by m_mutex
    std::vector<int> m_accepted; // guarded by m_mutex
};

} // namespace tb
