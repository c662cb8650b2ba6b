// The broadcast information displays' records: the options advisory (141),
// the advisory calls (145), the day's product events (155) and the reference
// rates (160). The input is a run of messages, one a line; each line's first
// byte picks the code and the rest is the payload, read as the displays read
// it, into tables kept across the run as the frame keeps them.
// Properties: no table holds more than its slots, and its count is the slots
// in use; a kept call or event is found again by its id, so a later message
// can change or withdraw it; a withdrawn one is gone; the fixed texts keep
// their fields' lengths; a reference rate lands only on rows that exist.
#include "../FuzzTarget.h"

#include "frame/InformationRecords.h"
#include "server/SecurityRecord.h"
#include "server/SecurityRequests.h"
#include "server/SecurityTable.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

namespace broadcasts {

namespace {

std::shared_ptr<SecurityTable> smallTable()
{
    SecurityRows rows;
    for (int i = 0; i < 6; ++i) {
        SecurityRecord r;
        r.token = i + 1;
        r.wtoken = 2 * i + 1;
        r.market_exchange.assign(i < 3 ? "CN" : "NN");
        r.inst_type.assign(i < 3 ? "FUTCUR" : "EQ");
        r.symbol.assign(i % 2 ? "USDINR" : "EURINR");
        r.setDisplayKey("PAIR" + std::to_string(i));
        rows.push_back(std::move(r));
    }
    auto table = std::make_shared<SecurityTable>();
    table->build(std::move(rows), SecurityTable::Build::Full, true);
    return table;
}

// The advisory call of a 145 payload, with its security by scrip code.
AdvisoryCall readCall(const std::string& payload)
{
    AdvisoryCall call;
    call.fields = SplitInformationFields(payload, '|');
    const auto at = [&](size_t i) { return i < call.fields.size() ? call.fields[i] : std::string(); };
    call.closed = at(12) == "Closed";
    call.callId = std::atol(at(13).c_str());
    if (!at(19).empty())
        call.security = std::atoi(at(2).c_str()) % 7 - 1;
    call.displayKey = "KEY";
    return call;
}

void checkCalls(const CMyRibbonCtrl& calls)
{
    int inUse = 0;
    for (const CEventData& d : calls.Slots()) {
        if (!d.inUse)
            continue;
        ++inUse;
        FUZZ_CHECK(d.displayType != 2 || d.fields.size() >= kAdvisoryMinFields);
        FUZZ_CHECK(d.field1.size() <= 10);
    }
    FUZZ_CHECK(calls.Count() == inUse);
    FUZZ_CHECK(calls.Count() <= kAdvisorySlots);
}

void checkEvents(const CDaysProductEvents& events)
{
    int inUse = 0;
    for (const DayProductEvent& e : events.Slots()) {
        if (!e.inUse)
            continue;
        ++inUse;
        FUZZ_CHECK(e.name.size() <= kDayEventNameChars && e.termsLink.size() <= kDayEventLinkChars);
        FUZZ_CHECK(events.SlotOfCommand(e.commandId) >= 0);
    }
    FUZZ_CHECK(events.Count() == inUse);
    FUZZ_CHECK(events.Count() <= kDayEventSlots);
}

} // namespace

FUZZ_TARGET(broadcasts)
{
    const std::shared_ptr<SecurityTable> table = smallTable();
    CMyRibbonCtrl calls;
    CDaysProductEvents events;
    const std::string_view input = fuzz::text(data, size);
    size_t at = 0;
    while (at < input.size()) {
        const size_t end = std::min(input.find('\n', at), input.size());
        const std::string_view line = input.substr(at, end - at);
        at = end + 1;
        if (line.empty())
            continue;
        const std::string payload(line.substr(1));
        switch (static_cast<unsigned char>(line[0]) % 4) {
        case 0: {
            const DerivaneAdvice a = ParseDerivaneMsg(payload);
            FUZZ_CHECK(!a.valid || SplitInformationFields(payload, '|').size() > 4);
            FUZZ_CHECK(a.valid || (a.text.empty() && a.exchange.empty()));
            break;
        }
        case 1: {
            const AdvisoryCall call = readCall(payload);
            if (call.fields.size() <= 25)
                break;
            const MorrowpickChange change = ProcessMorrowpickCalls(calls, call);
            if (change.filledSlot >= 0 || change.updated)
                FUZZ_CHECK(calls.SlotOfCall(call.callId) >= 0);
            if (change.removed)
                FUZZ_CHECK(calls.SlotOfCall(call.callId) < 0);
            FUZZ_CHECK(!change.destroyed || calls.Count() == 0);
            checkCalls(calls);
            break;
        }
        case 2: {
            const std::vector<std::string> fields = SplitInformationFields(payload, '|');
            const int taken = events.SetData(fields);
            FUZZ_CHECK(taken == 0 || taken == -1);
            if (taken == 0) {
                const int slot = events.SearchEvent(std::atoi(fields[2].c_str()));
                const bool withdrawn = std::atoi(fields[1].c_str()) == 2;
                FUZZ_CHECK(withdrawn ? slot < 0 : slot >= 0);
            }
            checkEvents(events);
            break;
        }
        default: {
            const RbiRefRateUpdate u = ParseRbiRefRatePayload(payload);
            if (!u.valid)
                break;
            UpdateRbiRefRate(*table, u.count, u.records);
            for (int i = 0; i < table->count(); ++i) {
                const double rate = table->row(i).ref_rate.load();
                FUZZ_CHECK(std::isfinite(rate) && rate >= 0);
            }
            break;
        }
        }
    }
}

} // namespace broadcasts
