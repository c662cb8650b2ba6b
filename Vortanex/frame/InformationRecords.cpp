#include "frame/InformationRecords.h"

#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "server/SecurityReload.h"

#include <climits>
#include <cstdlib>

namespace {

const std::string& fieldAt(const std::vector<std::string>& fields, size_t i)
{
    static const std::string empty;
    return i < fields.size() ? fields[i] : empty;
}

int infoInt(const std::string& text)
{
    return std::atoi(text.c_str());
}

} // namespace

std::vector<std::string> SplitInformationFields(std::string_view text, char separator)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        out.emplace_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos)
            return out;
        start = at + 1;
    }
}

// ---------------------------------------------------------------- day events

int CDaysProductEvents::SetData(const std::vector<std::string>& fields)
{
    WriteLog(3, "Entry : CDaysProductEvents::SetData");
    int result = -1;
    if (m_count == 0)
        Clear();
    if (fields.size() > 12) {
        WriteLog(3, fields[2]);
        const int productId = infoInt(fields[2]);
        const short state = static_cast<short>(infoInt(fields[1]));
        if (productId >= 0) {
            const int slot = SearchEvent(productId);
            WriteLog(3, formatText("SearchEvent ret %d, ProdId: %d, State: %d", slot, productId, int(state)));
            if (slot < 0 && state != 2) {
                for (int i = 0; i < kDayEventSlots; ++i) {
                    DayProductEvent& e = m_slots[size_t(i)];
                    if (e.inUse)
                        continue;
                    e.inUse = 1;
                    e.productId = productId;
                    e.state = state;
                    // The name and link keep their fixed fields' lengths.
                    e.name = fields[8].substr(0, kDayEventNameChars);
                    e.text = fields[9];
                    e.show = fields[10].empty() ? 0 : fields[10][0];
                    e.termsLink = fields[11].substr(0, kDayEventLinkChars);
                    e.accept = fields[12].empty() ? 0 : fields[12][0];
                    e.commandId = kDayEventFirstCommand + i;
                    ++m_count;
                    result = 0;
                    break;
                }
                if (result != 0)
                    WriteLog(0,
                             formatText("Day event %d not kept: all %d slots are in use", productId, kDayEventSlots));
            } else if (slot >= 0 && state == 2) {
                RemoveEvent(slot);
                result = 0;
            } else if (slot >= 0) {
                DayProductEvent& e = m_slots[size_t(slot)];
                e.state = state;
                e.text = fields[9];
                e.show = fields[10].empty() ? 0 : fields[10][0];
                e.termsLink = fields[11].substr(0, kDayEventLinkChars);
                e.accept = fields[12].empty() ? 0 : fields[12][0];
                result = 0;
            }
        }
    }
    WriteLog(3, "Exit : CDaysProductEvents::SetData");
    return result;
}

int CDaysProductEvents::SearchEvent(int productId) const
{
    for (int i = 0; i < kDayEventSlots; ++i)
        if (m_slots[size_t(i)].inUse && m_slots[size_t(i)].productId == productId)
            return i;
    return -1;
}

void CDaysProductEvents::RemoveEvent(int slot)
{
    if (slot < 0 || slot >= kDayEventSlots || !m_slots[size_t(slot)].inUse)
        return;
    m_slots[size_t(slot)] = DayProductEvent{};
    if (m_count > 0)
        --m_count;
}

void CDaysProductEvents::Clear()
{
    m_slots.fill(DayProductEvent{});
    m_count = 0;
}

int CDaysProductEvents::SlotOfCommand(int commandId) const
{
    for (int i = 0; i < kDayEventSlots; ++i)
        if (m_slots[size_t(i)].inUse && m_slots[size_t(i)].commandId == commandId)
            return i;
    return -1;
}

std::string DayEventsCaption(int count)
{
    return formatText("Days Events (%d)", count);
}

std::string AcceptDaysEventRequest(std::string_view sessionId, std::string_view userId, std::string_view clientCode,
                                   std::string_view localAddress, int offerOrProductId, int lastField)
{
    return formatText("LoginData=1013|%s|%s|%s|%d|%d|%s|%d|%d", std::string(sessionId).c_str(),
                      std::string(userId).c_str(), std::string(clientCode).c_str(), 1, 4,
                      std::string(localAddress).c_str(), offerOrProductId, lastField);
}

AcceptReply ReadAcceptReply(int httpStatus, std::string_view body)
{
    AcceptReply r;
    r.status = httpStatus;
    if (httpStatus != 200) {
        r.kind = AcceptReply::Transport;
        r.text = formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", httpStatus);
        return r;
    }
    const std::vector<std::string> f = SplitInformationFields(body, '|');
    if (body.empty() || f.size() < 3) {
        r.kind = AcceptReply::Blank;
        r.text = "Unable to authenticate blank response please try again";
        return r;
    }
    r.kind = infoInt(f[1]) != 0 ? AcceptReply::Refused : AcceptReply::Accepted;
    r.text = f[2];
    return r;
}

// ---------------------------------------------------------------- advisory
// calls

void CEventData::FormatText(const std::string& displayKey)
{
    buttonText = fieldAt(fields, 4) + " : " + displayKey;
    toolTip = buttonText + ". Stoploss Price : " + fieldAt(fields, 26) + ", Target Price : " + fieldAt(fields, 25);
}

int CMyRibbonCtrl::FillDataArray(const AdvisoryCall& call)
{
    WriteLog(3, fieldAt(call.fields, 13));
    if (displayType == 2 && call.fields.size() < kAdvisoryMinFields) {
        WriteLog(0, formatText("Advisory call of %d fields not kept: %d are needed", int(call.fields.size()),
                               int(kAdvisoryMinFields)));
        return -1;
    }
    // A call is changed and closed by its id: one without an id a slot can
    // hold would stay on the ribbon for good.
    if (displayType == 2 && (call.callId <= 0 || call.callId > INT_MAX)) {
        WriteLog(0, formatText("Advisory call with id %ld not kept", call.callId));
        return -1;
    }
    for (int i = 0; i < kAdvisorySlots; ++i) {
        CEventData& d = m_slots[size_t(i)];
        if (d.inUse)
            continue;
        d.Reset();
        d.inUse = 1;
        d.displayType = displayType;
        d.fields = call.fields;
        d.field1 = fieldAt(call.fields, 1).substr(0, 10);
        switch (displayType) {
        case 1:
        case 3:
            d.callId = infoInt(fieldAt(call.fields, 3));
            d.security = -1;
            d.commandId = displayType == 1 ? 33322 : 33323;
            break;
        case 2: {
            d.callId = static_cast<int>(call.callId);
            WriteLog(3, fieldAt(call.fields, 12) + " " + fieldAt(call.fields, 2) + " " + fieldAt(call.fields, 19));
            d.security = call.security;
            d.FormatText(call.displayKey);
            const std::string& n = fieldAt(call.fields, 28);
            d.number = static_cast<short>(n.empty() ? 2 : infoInt(n));
            d.commandId = kAdvisoryFirstCommand + i;
            break;
        }
        default:
            d.callId = 0;
            d.commandId = 0;
            break;
        }
        ++m_count;
        return i;
    }
    WriteLog(0, "Advisory call " + fieldAt(call.fields, 13) + " not kept: no free slot");
    return -1;
}

void CMyRibbonCtrl::UpdateData(long callId, const AdvisoryCall& call)
{
    // An update is held to the rule of a new call: the call keeps the
    // fields its tool tip and order form read.
    if (displayType == 2 && call.fields.size() < kAdvisoryMinFields) {
        WriteLog(0, formatText("Advisory call update of %d fields not taken: %d are needed", int(call.fields.size()),
                               int(kAdvisoryMinFields)));
        return;
    }
    for (CEventData& d : m_slots) {
        if (!d.inUse || d.callId != callId)
            continue;
        d.displayType = displayType;
        d.fields = call.fields;
        d.field1 = fieldAt(call.fields, 1).substr(0, 10);
        d.security = displayType == 2 ? call.security : -1;
    }
}

int CMyRibbonCtrl::RemoveData(long callId)
{
    if (callId <= 0)
        return m_count;
    const int slot = SlotOfCall(callId);
    if (slot >= 0) {
        m_slots[size_t(slot)].Reset();
        if (m_count > 0)
            --m_count;
    }
    return m_count;
}

int CMyRibbonCtrl::GetSecurityIndex(long callId) const
{
    const int slot = SlotOfCall(callId);
    return slot < 0 ? -1 : m_slots[size_t(slot)].security;
}

int CMyRibbonCtrl::SlotOfCall(long callId) const
{
    for (int i = 0; i < kAdvisorySlots; ++i)
        if (m_slots[size_t(i)].inUse && m_slots[size_t(i)].callId == callId)
            return i;
    return -1;
}

int CMyRibbonCtrl::SlotOfCommand(int commandId) const
{
    for (int i = 0; i < kAdvisorySlots; ++i)
        if (m_slots[size_t(i)].inUse && m_slots[size_t(i)].commandId == commandId)
            return i;
    return -1;
}

void CMyRibbonCtrl::Clear()
{
    for (CEventData& d : m_slots)
        d.Reset();
    m_count = 0;
    displayType = 0;
}

std::vector<int> CMyRibbonCtrl::Securities() const
{
    std::vector<int> out;
    for (const CEventData& d : m_slots)
        if (d.inUse && d.security >= 0)
            out.push_back(d.security);
    return out;
}

void CMyRibbonCtrl::Reresolve(const SecurityTable& before, const SecurityTable& after)
{
    for (CEventData& d : m_slots)
        if (d.inUse && d.security >= 0)
            d.security = ReresolveSecurity(before, after, d.security);
}

MorrowpickChange ProcessMorrowpickCalls(CMyRibbonCtrl& calls, const AdvisoryCall& call)
{
    MorrowpickChange change;
    if (calls.displayType == 0) {
        if (call.closed)
            return change;
        calls.displayType = 2;
        change.filledSlot = calls.FillDataArray(call);
        // A call that was not kept leaves nothing shown, so the next one
        // starts the panel afresh.
        if (change.filledSlot < 0 && calls.Count() == 0)
            calls.displayType = 0;
        return change;
    }
    const int slot = calls.SlotOfCall(call.callId);
    if (slot >= 0) {
        if (!call.closed) {
            calls.UpdateData(call.callId, call);
            change.updated = true;
        } else {
            change.removed = true;
            if (calls.RemoveData(call.callId) == 0) {
                change.destroyed = true;
                calls.Clear();
            }
        }
    } else if (!call.closed) {
        change.filledSlot = calls.FillDataArray(call);
    }
    return change;
}

// ---------------------------------------------------------------- options
// advisory

DerivaneAdvice ParseDerivaneMsg(std::string_view payload)
{
    DerivaneAdvice a;
    const std::vector<std::string> f = SplitInformationFields(payload, '|');
    if (f.size() <= 4)
        return a;
    a.valid = true;
    a.report = !f[0].empty();
    a.text = f[1];
    a.status = static_cast<short>(infoInt(f[2]));
    a.token = infoInt(f[3]);
    a.exchange = f[4];
    return a;
}

// ---------------------------------------------------------------- reference
// rates

std::string NormaliseRbiRefRatePayload(std::string_view payload)
{
    std::string text(payload);
    if (text.find(',') != std::string::npos) {
        for (char& c : text)
            if (c == ',')
                c = '^';
    } else {
        text += '^';
    }
    return text;
}

RbiRefRateUpdate ParseRbiRefRatePayload(std::string_view payload)
{
    RbiRefRateUpdate u;
    const std::string text = NormaliseRbiRefRatePayload(payload);
    const std::vector<std::string> parts = SplitInformationFields(text, '~');
    if (parts.size() != 2)
        return u;
    const std::vector<std::string> header = SplitInformationFields(parts[0], '|');
    if (header.size() < 2)
        return u;
    u.valid = true;
    u.count = infoInt(header[1]);
    u.records = parts[1];
    return u;
}
