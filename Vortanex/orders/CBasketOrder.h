#pragma once
// The basket order form: one modeless dialog for up to five orders (legs) of
// one client, sent in one request (code 301), or up to five open orders
// cancelled in one request. Openers fill it through BasketService. The send
// runs on a worker while the form stays busy: it cannot be closed, and a
// second send or a margin query is refused until the reply is in.
// UI thread only.
#include "orders/BasketRequest.h"
#include "server/SecurityReload.h"

#include <QDialog>

#include <array>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CBasketOrder : public QDialog {
    Q_OBJECT
public:
    // The leg data the opener fills.
    struct Leg {
        int secIndex = -1;
        int markId = -1;
        long long quantity = 0; // units: lots x units per lot for a currency
        char side = ' ';
        double price = 0; // rupees
        double orderNo = 0;
        std::string client;
        int disclosed = 0;
        double trigger = 0;
    };
    struct Row {
        QCheckBox* select = nullptr;
        QLineEdit* name = nullptr;
        QPushButton* search = nullptr;
        QComboBox* action = nullptr;
        QComboBox* exchange = nullptr;
        QLineEdit* lots = nullptr;
        QLineEdit* quantity = nullptr;
        QLineEdit* price = nullptr;
        QLineEdit* trigger = nullptr;
        QLineEdit* disclosed = nullptr;
        QComboBox* mark = nullptr;
        QPushButton* margin = nullptr;
        QLabel* units = nullptr;    // a commodity leg's lot details: "Units:%d"
        QLabel* priceFor = nullptr; // and "Price for:%s %s"
    };

    explicit CBasketOrder(QWidget* parent = nullptr);
    ~CBasketOrder() override;

    // Opening: refuses while the terminal is locked (false, nothing shown).
    bool OnInitDialog();
    void ResetBasketData();
    bool SetNewBasketData();
    void SetLegSecurity(int leg, int securityIndex); // leg 1..5
    void OnOK();
    // The margin of leg 1..5, or of every ticked leg (6): the queries run on
    // a worker; refused while a send or another query runs.
    void CalculateMargin(int selector);
    // The DDS Units box: units x the given quantities of the given legs.
    void OnKillfocusDdsUnits();

    std::string clientCode;
    int basketMode = kBasketNew;
    int givenLegs = 0;
    std::array<Leg, kBasketLegCount> legs;
    bool windowCreated = false;

    bool isSending() const { return m_sending; }
    const Row& row(int k) const { return m_rows[size_t(k)]; }
    QLineEdit* clientEdit() const { return m_client; }
    QLineEdit* ddsUnitsEdit() const { return m_ddsUnits; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* allMarginButton() const { return m_allMargin; }
    QLineEdit* passwordEdit() const { return m_password; }
    QLabel* chargesLink() const { return m_charges; }
    // The form asks for the trading password: a user of type 'G' whose login
    // did not set the trading-password flag.
    bool asksPassword() const { return m_askPassword; }
    // The "Estimated Charges" link: the broker's charges page for the client
    // in the client box, in the desktop browser.
    void OnEstimatedCharges();
    // The last request handed to the worker (tests).
    const BasketRequest& lastRequest() const { return m_request; }

    // The worker's answer, on the UI thread. A send whose reply failed after
    // the request left (state unknown) unticks every leg.
    void sendDone(int result, const std::string& details, bool stateUnknown);
    void marginDone(const std::string& text);

    // Cancel: refused while a send runs on the form.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildRows();
    void onLegSearch(int k);
    void onExchangeChanged(int k);
    void showLotDetails(int k);
    void fillMarks();
    BasketForm readForm() const;
    void showFailure(const BasketFailure& f);
    void startSend();

    QLineEdit* m_client = nullptr;
    QCheckBox* m_amo = nullptr;
    QLabel* m_ddsLabel = nullptr;
    QLineEdit* m_ddsUnits = nullptr;
    QLabel* m_passwordLabel = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_charges = nullptr;
    bool m_askPassword = false;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_allMargin = nullptr;
    std::array<Row, kBasketLegCount> m_rows;
    std::array<int, kBasketLegCount> m_exchangeChoice {};
    void setBusy(bool busy);
    bool m_sending = false; // a send or a margin query works on the form
    SecurityReload::Registration m_reload; // the legs find their securities again after a re-download
    BasketRequest m_request;
};

// The live form, or null. UI thread only.
extern CBasketOrder* g_pBasketOrder;

// Installs the real basket form behind BasketService and the market watch's
// basket opener. UI thread, at start-up.
void InstallBasketForm();
void UninstallBasketForm();

// The main frame's four "New Basket Order" commands: refuse without the
// right to place orders ("You don't have access to place Basket Order") or
// an active client ("Please Activate a Client"), else open the form empty
// for the active client. False when refused. UI thread.
bool OpenFrameBasket();

// The trading password the basket form last sent (empty until then); the
// form shows it again to the users it asks. UI thread.
std::string BasketTradingPassword();
void ClearBasketTradingPassword();

// Waits until no basket send runs (exit, tests). Any thread.
bool WaitBasketSends(int timeoutMs);
// Exit: ends every basket send and margin query still out; the orders of a
// send are named on the Trading list as of unknown state (their reply is not
// seen). UI thread.
void EndBasketSendsInFlight();
