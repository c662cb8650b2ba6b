#pragma once
// The one order entry form: new, modify, cancel, the mark changes, square-off
// of a position, an order from a holding and placing an order again. It is
// made on first use, hidden between uses and reused; the program reaches it
// through OpenOrderForm. While an order is in flight the form stays busy: a
// second OK, a refill and a close are refused until the reply has arrived.
#include "orders/COrderData.h"
#include "orders/OrderInfo.h"
#include "orders/OrderFormRules.h"
#include "server/OrderSecurity.h"

#include "server/SecurityReload.h"
#include "ui/form.h"

#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

struct OrderFlight;
struct TsloPanelOutcome;

class CDlgOrderFormExp final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 284;

    // Creates the form on first use or reuses it, filled for the mode; null
    // when refused (an order in flight, a locked terminal) or failed.
    static CDlgOrderFormExp* GetInstance(QWidget* parent, int mode, int index, char side, short scripType,
                                         int quantity, const std::string& clientCode, int orderMark,
                                         const std::vector<std::string>& stringList, int tslKind, int companionIndex,
                                         double price);
    // The live form (g_pDlgOrderFormExp), null when none. UI thread.
    static CDlgOrderFormExp* Instance();
    // Resets and deletes the live form. Never called from the form's own methods.
    static void DestroyInstance();

    ~CDlgOrderFormExp() override;

    int SetInitData();
    int SetMessage(int mode, int index, char side);
    void ReturnMessage(int securityIndex);
    void ResetData(int kind);

    void OnOk();
    void OnCancel();
    void OnBuy();
    void OnSell();
    void StepQuantity(int direction);
    // Up/Down in the quantity or lot box: one unit a press, the quantity
    // step once the key has been held for 3 s.
    void StepQuantityHeld(int direction);
    void StepPrice(int direction);
    void UpdateStopLossTrigger();
    void SetFormReady(bool on);
    void OnCbnSelchangeCmbExch();
    void OnKillfocusSec();
    // The margin button and Ctrl+Shift+M: the inputs are read here, the
    // query runs on a worker while the form is busy, the answer is shown on
    // the UI thread (CDlgOrderFormMargin.cpp).
    void CalculateMarginRequired();
    // The trailing stop-loss panel (CDlgOrderFormTslo.cpp): expanding and
    // collapsing it, the trigger that follows the spread, and the filling of
    // the panel for a new order or for a record of the trailing book
    // (action 1 new, 2 modify, 3 cancel); -1 without an active client.
    void OnAfterExpand();
    void UpdateTrailingTrigger();
    int SetTsloOrderData(int action, int index, char side);
    int TsloKind() const { return m_nTslKind; }
    char TrailSide() const { return m_cTrailSide; }
    int TsloResultId() const { return m_OrderData.trailing_result_id; }
    void OnBnClickedBtnEstmtedCharges();
    // The NSE/BSE radios: the price takes that exchange's best ask for a buy,
    // its best bid for a sell, and the form follows to that exchange.
    void OnRadioExchange(bool nse);
    // The user's choice of order mark: the trigger's label names a stop
    // loss's side, and the NSE/BSE choice is offered for a normal cash order
    // whose security has a twin.
    void OnCbnSelchangeOrderMark();
    // Leaving the price with the trailing panel open: the trigger follows,
    // or the spread it still needs takes the focus.
    void OnKillfocusPrice();
    // Leaving the account box or the exchange list by Tab: the focus goes on
    // to the box the order needs next.
    void OnKillfocusAccount();
    void OnCbnKillfocusCmbExch();

    int Place_Order(int code, const std::string& text, const std::string& line, char side);
    // The reply of the order sent last (UI thread).
    void UpdateResponse(double orderNo, const std::string& text);
    void UpdateOrderInfo(int filledQty, double pricePaise, double orderNo);

    // State the tests and the books read.
    bool IsRequestInProcess() const { return m_bRequestInProcess; }
    bool IsReady() const { return m_bReady; }
    bool IsInitialised() const { return m_bInitialised; }
    int Mode() const { return m_nMode; }
    int RequestedMode() const { return m_nReqMode; }
    int SecurityIndex() const { return m_nSecIdx; }
    char Side() const { return m_cSide; }
    bool SideLocked() const { return m_bSideLock; }
    double OrderNumber() const { return m_dOrderNo; }
    const OrderInfo& PendingOrderInfo() const { return m_OrderInfo; }
    // Waits for the order thread of the last OK (tests and shut-down),
    // serving the UI thread meanwhile (the thread may be waiting on it), for
    // at most a few seconds; a thread still running then is left to end.
    void WaitForRequest();
    // The form goes (DestroyInstance): a request in flight is ended, its
    // thread waited for as above, and an order whose outcome the user has not
    // seen is named on the Trading list as of unknown state.
    void CloseInFlight();

protected:
    void onInit() override;

private:
    explicit CDlgOrderFormExp(QWidget* parent);
    void wireControls();
    bool onKey(int key, bool shift, bool ctrl);
    void fillExchangeList();
    void fillOrderMarks();
    void selectExchangeOf(const OrderSecurity& sec);
    void applySecurity(const OrderSecurity& sec, bool fromSearch);
    void readLots();
    void setCaptions(const std::string& caption, const std::string& okText);
    bool fillFromStore(int index);
    void applyDealerFocus();
    int lotSize(const OrderSecurity& sec) const;
    // The form's security now: the row that holds its token and exchange in
    // the table published at this moment (a reload of the master moves rows
    // under an open form); invalid when it is gone or none is chosen.
    OrderSecurity security();
    // Chooses the security at a row of the current table (-1 none, -2 typed
    // and not looked up yet) and keeps what identifies it.
    void setSecurityIndex(int index);
    // The security box written by the form itself: not the user's edit.
    void writeSecurityText(const std::string& text);
    // The code of the exchange list's choice ("NN", ...), empty for none.
    std::string chosenExchangeCode() const;
    // Looks a typed security up on the form's exchange and takes it; false
    // (after the refusal) when it is not found.
    bool resolveTypedSecurity();
    std::string priceText(double rupees, const OrderSecurity& sec) const;
    void wireTsloPanel();
    int chosenMarkId() const; // the id of the order mark list's choice, -1 for none
    void showTsloPanel(bool on);
    void setTrailLabels();
    void onTrailSideChanged();
    void onBookProfitClicked();
    void fillMorrowpick(char side);
    // The smart-routing rules, run when SOR, the validity or AMO changes.
    void applySorRules();
    bool stepTsloSpin(int id, int direction);
    // The price spins' top: the settings' Order Value Limit (1000000 when unset).
    static double OrderValueLimit();
    // Checks the panel and sends 121, 122 or 123 on the worker; -1 when
    // nothing was sent (the form is then free again).
    // confirm: the user's settings ask for a confirmation of the order.
    int sendTsloOrder(const OrderSecurity& sec, bool confirm);
    // The trailing order's confirmation with the values it will send; false: No.
    bool confirmTslo(const OrderSecurity& sec, const TsloPanelOutcome& panel);

    int m_nMode = 0;
    int m_nReqMode = 0;
    int m_nModeCopy = 0;
    int m_nRefIdx = -1;
    int m_nSecIdx = -1;
    int m_nSecToken = 0;        // what identifies m_nSecIdx's security across reloads
    std::string m_strSecExch;
    SecurityReload::Registration m_reload; // finds the security again after a re-download
    bool m_bWritingSecurity = false; // the form itself writes the security box
    int m_nInitSecIdx = -1;
    char m_cSide = 'B';
    char m_cTrailSide = ' ';
    short m_nScripType = 0;
    int m_nTslKind = -1;
    double m_dPrice = 0;
    int m_nOrderMark = -1;
    std::string m_strClient;
    std::string m_strClientCopy;
    int m_nQty = 0;
    int m_nCompanion = -1;
    int m_nOpenQty = 0;
    double m_dOldPrice = 0;
    double m_dOrderNo = 0;
    std::vector<std::string> m_list;
    int m_nSquareOff = 0;
    bool m_bSideLock = false;
    bool m_bSor = false;
    bool m_bRequestInProcess = false;
    bool m_bReady = true;
    bool m_bInitialised = false;
    double m_dPriceStep = 0;
    int m_nQtyStep = 1;
    int m_nExchSel = 0;
    bool m_bHoldOk = false; // a modify changed the quantity: OK stays off after the reply
    int m_nSentMode = 0;    // the mode of the order in flight
    QPointer<QWidget> m_parent;
    QPointer<QObject> m_focusOutFilter; // the security box's focus-out handler
    COrderData m_OrderData;
    OrderInfo m_OrderInfo;
    std::thread m_worker;
    std::shared_ptr<OrderFlight> m_flight; // the request of m_worker
    std::string m_strFlightLine;           // the order line of that request; empty for a margin query
    // Starts m_worker on `body` for the request `flight`.
    void startWorker(std::shared_ptr<OrderFlight> flight, std::string orderLine, std::function<void()> body);
    int64_t m_nHoldStartMs = 0;   // Up/Down held in the quantity box since
    int64_t m_nHoldLastMs = -100000;
    int m_nHoldDirection = 0;
    HeldKeyTracker m_spreadHold;  // Up/Down held in the spread box
    int m_nTsloOrderNo = 0;       // the trailing book's special order number (modify, cancel)
    int m_nTsloFirstLegTraded = 0;
    bool m_bTsloLegTrails = false; // the trailing leg of the order modified trails already
};

// Installs the form as the program's order form service (OpenOrderForm) and
// the main frame's message bar as the order lines' sink. UI thread, start-up.
void InstallOrderEntry();
void UninstallOrderEntry();
