#pragma once
// "Scrip Search": finds one security by narrowing six lists (symbol,
// exchange, series, expiry, strike, option type) over the loaded security
// table and hands it on with Enter: mode 0 adds it to the current market
// watch (modeless, one instance from the ribbon and Ctrl+S), mode 1 to the
// order form, mode 2 to a basket leg. No request is sent. UI thread.
#include "ui/form.h"

#include <functional>
#include <string>

class CScripSearch final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 196;
    static constexpr int kSymbol = 1255;
    static constexpr int kExchange = 1257;
    static constexpr int kSeries = 1259;
    static constexpr int kExpiry = 1261;
    static constexpr int kStrike = 1263;
    static constexpr int kOptionType = 1267;
    static constexpr int kOk = 1300;

    // mode 0 current watch, 1 order form, 2 basket leg `leg`; `onChosen`
    // receives the security for modes 1 and 2.
    CScripSearch(int mode, std::function<void(int leg, int security)> onChosen = {}, int leg = 0,
                 QWidget* parent = nullptr);
    ~CScripSearch() override;

    // The one modeless instance (ribbon 1163 and Ctrl+S): created on first
    // use, then activated.
    static void OpenModeless();
    static CScripSearch* modeless();

    // The lists' fills (each on its combo's focus) and the Enter choice.
    void FillSecurities();
    void FillExchanges();
    void FillSeries();
    void FillExpiries();
    void FillStrikes();
    void FillOptionTypes();
    void OnEnter();
    void OnCancel();
    // A new security table: the lists are refilled from it on next focus.
    void MyUpdate();
    // A theme change: the open modeless search takes the new look where it
    // stands (moving it on every change would walk it off its parent).
    static void RefreshStyle();

protected:
    void onInit() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Filters;
    Filters filters() const;
    bool symbolListOpen() const;

    int m_mode = 0;
    std::function<void(int, int)> m_onChosen;
    int m_leg = 0;
    bool m_open = false;
};
