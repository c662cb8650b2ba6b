#pragma once
// The "Login Details" dialog that start-up shows before anything talks to the
// trading servers: checks what the user typed, gets the session's encryption
// details, sends the login and reads the reply into the session record. Its
// "Login Help" menu and "Generate Access Code" button start the recovery
// exchanges; the help exchanges run on a worker thread while the dialog's
// inputs are disabled, with every box and dialog shown on the UI thread.
// The login, unlock and access-code exchanges run on the dialog's exchange
// thread too: the dialog shows their progress, Exit becomes Cancel (which
// abandons the exchange and drops its late result), and the reply is read
// back on the UI thread, so the window never waits on the network.
// Run it with ui::modalHost(); after it ends the caller reads the result
// (1 OK, 2 cancel) and lastStatus() (60041 with 2: start the launcher).
#include "app/LoginExchange.h"
#include "ui/form.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

class DialogExchange;
class ExchangeCancel;
class LoginHost;
class QTimer;

namespace pf {
class Shell;
}

class CLogin : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 105;
    static constexpr int kUserId = 1006;
    static constexpr int kPassword = 1007;
    static constexpr int kToken = 1014;
    static constexpr int kIdLabel = 1308;
    static constexpr int kPasswordLabel = 1310;
    static constexpr int kTokenLabel = 1312;
    static constexpr int kUserIdRadio = 1446;
    static constexpr int kNickNameRadio = 1447;
    static constexpr int kLoginHelp = 1304;
    static constexpr int kAccessCode = 1306;
    static constexpr int kPicture = 1203;
    // The "Login Help" menu's commands.
    static constexpr int kForgotPassword = 32961;
    static constexpr int kForgotPasswordOtp = 33384;
    static constexpr int kForgotSecurityKey = 32962;
    static constexpr int kLostSecurityKey = 32963;
    static constexpr int kAccessCodeTimer = 333;
    // The line that shows an exchange's progress.
    static constexpr int kProgress = 1316;

    // `host` may be null (no main frame yet); it must outlive the dialog.
    explicit CLogin(pf::Shell& shell, LoginHost* host = nullptr, QWidget* parent = nullptr);
    ~CLogin() override;

    // The locker sets it before the dialog opens.
    void setUnlockMode(bool on) { m_unlock = on; }
    // The id the last successful login used on this machine, and whether it
    // was a nick name: the login mode starts with it, so only the password
    // is left to type. Set before the dialog is shown.
    void setLastId(std::string id, bool nickName)
    {
        m_lastId = std::move(id);
        m_lastIdIsNickName = nickName;
    }
    bool unlockMode() const { return m_unlock; }

    // Checks the input and starts the login exchange; the dialog closes with
    // OK when its reply (read on the UI thread) lets the user in.
    void Login();
    void OnOK();
    // Exit: while an exchange runs it cancels the exchange instead.
    void OnCancel();
    // The client-services exchange of a successful login, then `then`.
    void GetClientServicesDet(std::function<void()> then);

    // Recovery exchanges. ForgotPassword and ForgotSecurityKey run on the help
    // worker; GenerateAccessCode on the exchange thread.
    void OnLoginHelp();
    void ForgotPassword();
    void ForgotSecurityKey(int kind);
    void GenerateAccessCode();
    void OnTimer(int timerId);

    int lastStatus() const { return m_lastStatus; }
    int attempts() const { return m_attempts; }
    int resetMode() const { return m_resetMode; }
    // True while a help exchange runs; the dialog cannot be closed then.
    bool isHelpBusy() const { return m_helpBusy; }
    // True while a login, unlock or access-code exchange runs.
    bool isExchangeBusy() const;

protected:
    void onInit() override;
    // The unlock mode's step after the input checks; built with the lock. It
    // runs its exchange with runExchange.
    virtual void unlockStep(const std::string& /*id*/, const std::string& /*password*/) {}
    // Runs `work` on the exchange thread while the dialog shows `progress`
    // and its inputs are off; then `done` on the UI thread, unless the user
    // cancelled meanwhile (the exchange is ended and its result dropped).
    // Boxes that `work` shows are shown on the UI thread. UI thread.
    void runExchange(const std::string& progress, std::function<void(ExchangeCancel&)> work,
                     std::function<void()> done);

private:
    // What the help worker works on, read from the controls when it starts.
    struct HelpInput {
        std::string id;
        std::string password;
        int idKind = 0;
    };

    struct LoginJob;
    void loginAttempt(int repeat);
    void loginReply(const std::shared_ptr<LoginJob>& job);
    void loginSucceeded(const LoginJob& job, bool servicesRan);
    void accessCodeReply(const LoginJob& job);
    bool successTail();
    bool failureTail(int status);
    void setExchangeControls(bool busy);
    void cancelExchange();
    void showProgress();
    void setIdMode(bool nickName);
    void clearSecrets();
    // Runs the encryption-details step when this attempt has not had it.
    // Any thread; with cancel, a cancelled step fails.
    static bool ensureEncryptionDetails(ExchangeCancel* cancel = nullptr);
    void setHelpControls(bool on);
    void runHelp(int command);
    bool checkRecoveryIdentity(const HelpInput& in);
    HelpInput readHelpInput() const;

    pf::Shell& m_shell;
    LoginHost* m_host;
    int m_attempts = 0;
    bool m_unlock = false;
    std::string m_lastId;
    bool m_lastIdIsNickName = false;
    int m_lastStatus = 0;
    // Forgot-password mode: 1 questions, 2 one-time password. Only the help
    // worker changes it while it runs.
    std::atomic<int> m_resetMode{1};
    std::atomic<bool> m_workerStarted{false};
    std::atomic<bool> m_helpBusy{false};
    std::atomic<bool> m_workerDone{true};
    HelpInput m_helpInput; // written before the worker starts, read by it only
    std::thread m_worker;
    QTimer* m_accessTimer = nullptr;

    QTimer* m_progressTimer = nullptr;
    std::string m_progressText;
    int m_progressSeconds = 0;
    // The login, unlock and access-code exchanges; last, so that it goes
    // (cancelling and collecting its thread) while the rest still exists.
    std::unique_ptr<DialogExchange> m_exchange;
};
