#pragma once
// The "Change Password" dialog: the website or trading password, the old one
// once and the new one twice, checked against the password rules before the
// change request goes out. Opened by the login (password expired), the
// access-code exchange and the application's command; run it with
// ui::modalHost(). The change request runs off the UI thread; Cancel ends it.
#include "ui/form.h"

#include <atomic>
#include <memory>
#include <string>

class DialogExchange;

class CChgPassword final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 123;
    static constexpr int kUserName = 1071;
    static constexpr int kType = 1253;
    static constexpr int kOldPassword = 1072;
    static constexpr int kNewPassword = 1075;
    static constexpr int kConfirmPassword = 1077;

    explicit CChgPassword(std::string userName, QWidget* parent = nullptr);
    ~CChgPassword() override;

    // The session's trading flag: start-up clears it when trading is off for
    // the session, and the trading password is then not offered.
    static void SetTradingFlag(bool on);
    static bool TradingFlag();

    void OnOK();
    // While the change request runs it cancels the request (the dialog stays).
    void OnCancel();
    // True while the change request runs (off the UI thread).
    bool isBusy() const;

protected:
    void onInit() override;

private:
    void sendChange(bool trading, const std::string& oldPassword, const std::string& newPassword);

    void changeReply(int http, const std::string& reply);
    void setBusy(bool busy);

    std::string m_userName;
    static std::atomic<bool> s_tradingFlag;
    // Last: it goes first, while the controls it calls back exist.
    std::unique_ptr<DialogExchange> m_exchange;
};
