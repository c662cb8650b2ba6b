#pragma once
// The pledge and unpledge dialog (dialog 334): up to five holdings of the
// active client marked to margin funding (kind 0) or back to delivery
// (kind 1). OK sends one "RiskData=419" on a worker that owns copies of the
// request and the items; the answer comes back as a PledgeResult note, which
// a dialog closed meanwhile never gets.
#include "positions/RiskReportThread.h"
#include "ui/form.h"
#include "ui/prompter.h"
#include "ui/mailbox.h"

#include <string>

struct PledgeItem {
    int token = -1;
    int sec_index = -1; // in use when 0 or more
    int stock_balance = 0;
    int marking_index = 0;
    std::string exchange;
};

class DlgPledgeUnpleged final : public ui::Form, public ui::NoteReceiver {
    Q_OBJECT
public:
    static constexpr int kItems = 5;
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;
    static constexpr int kClient = 1017;
    static constexpr int kCheck = 1509;    // + row
    static constexpr int kSecurity = 1504; // + row
    static constexpr int kExchange = 1514; // + row
    static constexpr int kMark = 1519;     // + row
    static constexpr int kQuantity = 1524; // + row

    explicit DlgPledgeUnpleged(QWidget* parent = nullptr, RiskExchange exchange = {});
    ~DlgPledgeUnpleged() override;

    PledgeItem items[kItems];
    int count = 0;
    std::string item_text;
    std::string request;
    short kind = 0;
    std::string client_code;

    void OnOK();
    void OnCancel();
    // Tests: whether a request is on its way.
    bool isSending() const { return m_sending; }

protected:
    void onInit() override;
    void onNote(const ui::Note& note) override;

private:
    RiskExchange m_exchange;
    bool m_sending = false;
};
