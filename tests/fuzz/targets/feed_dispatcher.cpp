// The feed dispatcher: every message code, as one received buffer of
// messages (the input cut at each '\n') against a small published table of
// securities and indices, with the handlers run on the feed thread. An order
// confirmation's payload is also read into the order store's record.
// Properties: a message returns 0 or the code it starts with; no quote or index value
// stored is beyond the dispatcher's bound (or inf, or nan); the consumers
// hear of no more displays, confirmations and bar lines than there were
// messages.
#include "../FuzzTarget.h"

#include "../../base/feed_test_support.h"
#include "orders/OrderConfirmation.h"
#include "orders/OrderInfo.h"

#include <charconv>
#include <cmath>
#include <string>

namespace feed_dispatcher {

namespace {

class Consumers : public feedtest::RecordingConsumers {
public:
    void orderConfirmationPayload(const std::string& clientCode, const std::string& payload) override
    {
        int kind = 0;
        std::string client;
        OrderInfo record;
        ReadConfirmationRecord(payload, kind, client, record);
        (void)clientCode;
        ++payloads;
    }
    size_t payloads = 0;
};

// The number the first three characters spell: blanks and a '+' before it,
// anything after its digits ignored.
long spelledCode(std::string_view message)
{
    std::string_view head = message.substr(0, 3);
    while (!head.empty() && (head.front() == ' ' || head.front() == '\t'))
        head.remove_prefix(1);
    if (!head.empty() && head.front() == '+')
        head.remove_prefix(1);
    long code = 0;
    std::from_chars(head.data(), head.data() + head.size(), code);
    return code;
}

bool bounded(double v)
{
    return std::isfinite(v) && std::fabs(v) <= FeedDispatcher::kMaxFeedValue;
}

} // namespace

FUZZ_TARGET(feed_dispatcher)
{
    feedtest::resetFeedGlobals();
    pv_user_info.user_type = size > 0 && data[0] == 'V' ? 'V' : 'C';
    const std::shared_ptr<SecurityTable> table = feedtest::publishTable(8);
    feedtest::MemoryIndexRows indices;
    for (int code : {1, 2, 26000}) {
        IndexRecord row;
        row.feedCode = code;
        row.securityIndex = code == 1 ? 0 : -1;
        indices.rows.push_back(row);
    }
    Consumers consumers;
    size_t messages = 0;
    {
        FeedDispatcher dispatcher(consumers, FeedSubscriptions::instance(), indices,
                                  FeedDispatcher::Options{1, true, {}});
        const std::string_view input = fuzz::text(data, size);
        {
            const FeedDispatcher::Buffer buffer(dispatcher);
            size_t at = 0;
            while (at <= input.size()) {
                const size_t end = std::min(input.find('\n', at), input.size());
                const std::string message(input.substr(at, end - at));
                ++messages;
                const int code = dispatcher.Distribute_Feed(message.data(), int(message.size()));
                // The code is the number the first three characters spell.
                FUZZ_CHECK(code == 0 || code == spelledCode(message));
                dispatcher.ConfirmationText(message);
                at = end + 1;
            }
        }
        dispatcher.drain();
        dispatcher.stop();
    }
    for (int i = 0; i < table->count(); ++i) {
        const QuoteData q = table->row(i).quote();
        for (double v : q.quote)
            FUZZ_CHECK(bounded(v));
    }
    for (const IndexRecord& row : indices.rows)
        for (double v : row.values)
            FUZZ_CHECK(bounded(v));
    FUZZ_CHECK(consumers.displays.size() <= messages);
    FUZZ_CHECK(consumers.confirmations.size() <= messages && consumers.payloads <= messages);
    FUZZ_CHECK(consumers.messages.size() <= messages);
    SetLoggedIn(false);
    SecurityTable::publish(nullptr);
}

} // namespace feed_dispatcher
