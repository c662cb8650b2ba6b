#pragma once
// The market depth window: the five best bids and asks of one security, its
// day values, three price-range gauges and six pickers that switch it to
// another security. The feed keeps the latest depth record of its security
// (DepthFeed); the window's 100 ms timer applies it here on the UI thread,
// with the labels from the live quote. At most five are open (OpenMarketDepth).
#include "server/SecurityReload.h"
#include "ui/form.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

class CMyListCtrl;
class DepthFeed;
class LinearGauge;
namespace ui {
class Ticker;
}

class CMDepthView final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 127;
    // Controls of the dialog.
    static constexpr int kExchange = 1257, kInstrument = 1259, kSymbol = 1255, kExpiry = 1261, kStrike = 1263,
                         kOptionType = 1267, kLadder = 1213, kLastPrice = 1233, kPercent = 1321, kOpen = 1162,
                         kClose = 1172, kOpenInterest = 1296, kWeightedAverage = 1186, kLastTradeQty = 1302,
                         kLastTradeDate = 1309, kLastTradeTime = 1299, kTotalQty = 1188, kTotalValue = 1191,
                         kNetChange = 1183, kCircuitGauge = 1533, kTodayGauge = 1531, kYearGauge = 1532,
                         kYearLabel = 1535;
    // Popup "MDepth".
    static constexpr int ID_MDEPTH_PLACEORDER = 32994, ID_MDEPTH_BASKETORDER = 32996,
                         ID_MDEPTH_BASKETORDER_BUY = 32998, ID_MDEPTH_BASKETORDER_SELL = 33000;
    static constexpr int kTimerId = 1;
    static constexpr int kTimerMs = 100;

    CMDepthView(QWidget* parent, int security);
    ~CMDepthView() override;

    // The open depth windows, oldest first.
    static std::vector<CMDepthView*> openViews();

    // Applies one depth record (the timer hands over the latest one).
    void DisplayMDepth(const std::string& text);
    void DisplayMDepth_Cur(const std::string& text);
    // Switches the window to another security.
    void ReturnMessage(int security);
    // Rebuilds the three gauges; colourFlag 1 also re-applies the look's colours.
    void OnUpdateGauge(int colourFlag);
    void Place_Order(char side);
    // 32996 (side 0), 32998 ('B'), 33000 ('S').
    void OnBasketOrder(char side);
    void OnContextMenu(int x, int y);
    void FillMarketExchange();
    void SelectSecurityFromPickers();
    void OnCancel();
    // The 100 ms timer: applies the latest record of the security.
    void OnTimer();
    // Settings broadcast: a theme change recolours the gauges.
    void MyUpdate(int kind);

    int security() const { return m_security; }
    int slot() const { return m_slot; }
    double bidPrice(int level) const { return m_bid[static_cast<size_t>(level)]; }
    double askPrice(int level) const { return m_ask[static_cast<size_t>(level)]; }
    double lastPrice() const { return m_lastPrice; }
    CMyListCtrl* ladder() const { return m_list; }
    LinearGauge* gauge(int id) const;
    std::shared_ptr<DepthFeed> feed() const { return m_feed; }
    ui::Ticker* ticker() const { return m_ticker; }
    int gaugeRebuilds() const { return m_gaugeRebuilds; }
    std::string cellText(int row, int column) const;

public slots:
    void reject() override;

protected:
    void onInit() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A new look (the application's palette changed): the gauges take its colours.
    void changeEvent(QEvent* event) override;

private:
    void applyRecord(const std::string& text, bool currency);
    // After a security re-download: finds the security again by its token
    // and exchange; false (the window closes) when it is gone.
    bool followTable();
    void rememberSecurity();
    void setLabelsFromQuote();
    void refreshGauges();
    void movePointers();
    void setCaption();
    void clearLadder();
    void initPickers();
    void fillInstrumentTypes();
    void fillSymbols(const std::string& typed);
    void fillExpiries();
    void fillStrikes();
    void onExchangeChanged();
    void onInstrumentChanged();
    void onSymbolEdited();
    bool handleKey(int qtKey, Qt::KeyboardModifiers mods);
    std::string pickerExchangeCode() const;

    int m_security = -1;
    int m_token = 0;           // the security's exchange token and code, to find it after a re-download
    std::string m_exchangeCode;
    const void* m_tableSeen = nullptr; // the table the index belongs to
    SecurityReload::Registration m_reload; // follows the table at once after a re-download
    int m_drawnSecurity = -1;
    int m_slot = -1;
    double m_lastPrice = 0;
    std::array<double, 5> m_bid{}, m_ask{};
    std::array<std::array<double, 2>, 3> m_drawnBounds{}; // start, finish per gauge
    int m_bucketFirst = 0, m_bucketLast = 0;
    std::string m_symbol, m_exchange, m_type, m_expiry, m_strike, m_optionType;
    bool m_gaugeRebuilding = false;
    bool m_orderKey = false;
    bool m_pickersInit = false;
    bool m_closed = false;
    int m_gaugeRebuilds = 0;
    CMyListCtrl* m_list = nullptr;
    std::array<LinearGauge*, 3> m_gauges{}; // today's, 52-week, circuit
    ui::Ticker* m_ticker = nullptr;
    std::shared_ptr<DepthFeed> m_feed;
};

// The one opening rule of depth windows: a security already shown brings its
// window forward; with five open, "You are allowed to open 5 Market Depth";
// else a new window opens. Returns the window shown, null when refused.
CMDepthView* OpenMarketDepth(int security, QWidget* parent);
