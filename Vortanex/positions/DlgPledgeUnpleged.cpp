#include "positions/DlgPledgeUnpleged.h"

#include "app/base/ActivityStamp.h"
#include "app/base/ExchangeNames.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "pf/threads.h"
#include "server/SecurityTable.h"


#include <climits>
#include <cstdlib>

namespace {

ui::FormSpec pledgeSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = 334;
    spec.name = "DlgPledgeUnpleged";
    spec.caption = "Margin Funding Pledge/Unpledge";
    spec.width = 330;
    spec.height = 150;
    spec.controls = {
        {1, ControlKind::DefaultButton, "Mark to Margin Funding", {150, 128, 100, 14}},
        {2, ControlKind::Button, "Cancel", {256, 128, 60, 14}},
        {0, ControlKind::Label, "Client", {8, 10, 30, 10}},
        {1017, ControlKind::Edit, "", {40, 8, 60, 12}, ui::EditRules{false, 10, {}, true}},
        {0, ControlKind::Label, "Select", {8, 26, 30, 10}},
        {0, ControlKind::Label, "Security", {40, 26, 120, 10}},
        {0, ControlKind::Label, "Exch.", {164, 26, 40, 10}},
        {0, ControlKind::Label, "Delivery Mark", {208, 26, 60, 10}},
        {0, ControlKind::Label, "Qty/Lot", {272, 26, 50, 10}},
    };
    for (int k = 0; k < DlgPledgeUnpleged::kItems; ++k) {
        const int y = 40 + 16 * k;
        spec.controls.push_back({1509 + k, ControlKind::Check, "", {12, y, 12, 12}});
        spec.controls.push_back({1504 + k, ControlKind::Edit, "", {40, y, 120, 12}, ui::EditRules{false, 0, {}, true}});
        spec.controls.push_back({1514 + k, ControlKind::Edit, "", {164, y, 40, 12}, ui::EditRules{false, 0, {}, true}});
        spec.controls.push_back({1519 + k, ControlKind::Edit, "", {208, y, 60, 12}, ui::EditRules{false, 0, {}, true}});
        spec.controls.push_back({1524 + k, ControlKind::Edit, "", {272, y, 50, 12}, ui::EditRules{false, 9, {}, false}});
    }
    return spec;
}

std::string fundingName()
{
    for (int i = 0; i < pv_user_info.segment_count && i < static_cast<int>(pv_user_info.segments.size()); ++i)
        if (pv_user_info.segments[static_cast<size_t>(i)].id == 4)
            return std::string(FixedTextView(pv_user_info.segments[static_cast<size_t>(i)].name)).substr(0, 100);
    return {};
}

std::string pledgeDisplayKey(int index)
{
    const auto table = SecurityTable::current();
    return table && table->valid(index) ? std::string(table->row(index).displayKey().view()) : std::string();
}

const char* exchangeText(const std::string& code) { return ExchangeDisplayName(code, {"NN", "BN", "CN", "CB"}); }

// A typed quantity as a signed number; overflow clamps, letters end it.
long quantityOf(const std::string& text)
{
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<long>(v);
}

} // namespace

DlgPledgeUnpleged::DlgPledgeUnpleged(QWidget* parent, RiskExchange exchange)
    : ui::Form(pledgeSpec(), parent), m_exchange(exchange ? std::move(exchange) : DefaultRiskExchange())
{
    onClick(kOk, [this] { OnOK(); });
    onClick(kCancel, [this] { OnCancel(); });
}

DlgPledgeUnpleged::~DlgPledgeUnpleged()
{
    detachNotes();
}

void DlgPledgeUnpleged::onInit()
{
    setText(kClient, client_code);
    const std::string title = kind == 1 ? std::string("Mark to Delivery")
        : fundingName().empty()          ? std::string()
                                         : formatText("Mark to %s", fundingName().c_str());
    setWindowTitle(QString::fromStdString(title));
    setText(kOk, title);
    std::vector<std::string> segments;
    for (int k = 0; k < kItems; ++k) {
        const PledgeItem& it = items[k];
        if (it.sec_index < 0)
            continue;
        setText(kSecurity + k, pledgeDisplayKey(it.sec_index));
        const int m = it.marking_index;
        setText(kMark + k, m >= 0 && m < static_cast<int>(pv_user_info.segments.size())
                               ? std::string(FixedTextView(pv_user_info.segments[static_cast<size_t>(m)].name))
                               : std::string());
        setText(kExchange + k, exchangeText(it.exchange));
        setText(kQuantity + k, std::to_string(it.stock_balance));
        setChecked(kCheck + k, true);
    }
}

void DlgPledgeUnpleged::OnOK()
{
    item_text.clear();
    count = 0;
    const std::string funding = fundingName();
    if (IsTerminalLocked()) {
        MsgBoxOk(formatText("Terminal is Locked. Pls Unlock for Mark to %s / Delivery.", funding.c_str()));
        return;
    }
    if (m_sending)
        return;
    std::vector<PledgeLine> lines;
    for (int k = 0; k < kItems; ++k) {
        const PledgeItem& it = items[k];
        if (it.sec_index < 0 || !checked(kCheck + k))
            continue;
        const long qty = quantityOf(text(kQuantity + k));
        if (qty < 1 || qty > it.stock_balance) {
            MsgBoxOk("Qty Must be greater than Zero and less than or Equal to Stock Balance");
            return;
        }
        lines.push_back({it.token, it.exchange, qty});
    }
    if (lines.empty()) {
        MsgBoxOk(formatText("Please Select at Least One Security for Mark to %s / Delivery Request.", funding.c_str()));
        return;
    }
    count = static_cast<int>(lines.size());
    RiskClient client;
    ClientInfo* active = ActiveClientEntry();
    const bool dealer = pv_user_info.client_index == 0
        && (pv_user_info.user_type == 'D' || pv_user_info.user_type == 'A');
    if (dealer) {
        client.code = text(kClient);
        client.id = std::string(FixedTextView(pv_user_info.session_id));
    } else if (active) {
        client.code = std::string(FixedTextView(active->client_code));
        client.id = std::string(FixedTextView(active->user_id));
    }
    request = PledgeRequestText(client, std::string(FixedTextView(pv_user_info.user_id)), kind, lines);
    item_text = request.substr(request.find('~') + 1);
    WriteLog(0, item_text);
    enable(kOk, false);
    m_sending = true;
    // The worker owns copies; it reaches the dialog only by a note.
    std::vector<std::pair<int, std::string>> names;
    for (const PledgeItem& it : items)
        if (it.sec_index >= 0)
            names.emplace_back(it.token, pledgeDisplayKey(it.sec_index));
    const bool started = pf::Worker::start(
        "PledgeUnpledgeThread",
        [window = ref(), text = request, names = std::move(names), exchange = m_exchange,
         encrypt = pv_user_info.encrypt] {
            WriteLog(0, "Entry Place_Pledge_Unpledge_Req");
            PledgeResult result;
            try {
                std::string reply;
                const int status = exchange(encrypt, kRiskPledge, text, reply);
                result = ParsePledgeReply(status, reply, names);
            } catch (...) {
                WriteLog(0, "Error in catch at Place_Pledge_Unpledge_Req()");
                result = {-1, "Invalid Response Received For Pledge/Unpledge"};
            }
            ui::mailbox::post(window, ui::Note{ui::NoteId::PledgeResult, result.note, 0, result.text});
            WriteLog(0, "Exit Place_Pledge_Unpledge_Req");
        });
    if (!started) {
        m_sending = false;
        enable(kOk, true);
    }
}

void DlgPledgeUnpleged::OnCancel()
{
    finish(ui::Cancel);
}

void DlgPledgeUnpleged::onNote(const ui::Note& note)
{
    if (note.id != ui::NoteId::PledgeResult)
        return;
    m_sending = false;
    if (note.w == 0 || note.w == -1)
        MsgBoxInfo(note.text);
    enable(kOk, true);
}
