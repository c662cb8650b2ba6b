#include "app/UnlockLogin.h"

#include "app/CLogin.h"
#include "app/LoginExchange.h"
#include "app/base/SmallUtilities.h"
#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/Md5.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/LoginHost.h"
#include "frame/TerminalLock.h"
#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"

#include "pf/shell.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace unlock_login_detail {
namespace {

constexpr int kMaxUnlockFailures = 3;

// The login dialog in its unlock mode: the server checks the password again.
class CUnlockLogin final : public CLogin {
public:
    CUnlockLogin(pf::Shell& shell, LoginHost* host, TerminalLock& lock)
        : CLogin(shell, host), m_host(host), m_lock(lock)
    {
        setUnlockMode(true);
    }

protected:
    void unlockStep(const std::string& id, const std::string& password) override
    {
        auto digest = std::make_shared<std::string>();
        HashPassword(password, *digest);
        auto result = std::make_shared<int>(-1);
        // The server's check runs off the UI thread; the dialog shows it and
        // its Cancel abandons it.
        runExchange(
            "Unlocking",
            [id, digest, result](ExchangeCancel& cancel) {
                *result = UnlockTerminal(id, *digest, "", &cancel);
                std::fill(digest->begin(), digest->end(), '\0');
            },
            [this, result] { unlockReply(*result); });
    }

private:
    void unlockReply(int result)
    {
        if (result == 1) {
            SetAccessTime();
            m_lock.Unlocked();
            if (m_host) {
                m_host->clearUnlockDialog();
                m_host->updateProfileButton(1, 1);
                m_host->setFeedbackButtonPopup(1);
            }
            finish(1);
            return;
        }
        setText(kPassword, "");
        setText(kToken, "");
        enable(1, true);
        focus(kPassword);
        if (result == 0 && ++m_failures >= kMaxUnlockFailures) {
            // Three passwords the server refused end the session; the frame
            // does not ask, the terminal being locked.
            WriteLog(0, "Unlock refused three times; ending the session");
            finish(2);
            if (m_host) {
                m_host->clearUnlockDialog();
                m_host->postApplicationExit();
            }
        }
    }

    LoginHost* m_host;
    TerminalLock& m_lock;
    int m_failures = 0;
};

} // namespace
} // namespace unlock_login_detail

int UnlockTerminal(std::string_view id, std::string_view digest, std::string_view token, ExchangeCancel* cancel)
{
    const std::string request = "LoginData=1006|" + std::string(id) + "|"
        + std::string(FixedTextView(pv_user_info.session_id)) + "|4|" + std::string(digest) + "|" + std::string(token);
    WriteLog(0, MaskSecretIn(request, digest));
    std::string reply;
    long length = 0;
    const int http = RequestServer(pv_user_info.encrypt, 1006, request, reply, length, cancel);
    if (cancel && cancel->cancelled())
        return -1; // abandoned by the user: no answer, nothing counted
    // Only the server's refusal is a wrong password: a network failure or a
    // reply that cannot be read says nothing about the password, and three
    // of them must not end the program.
    if (http != 200) {
        MsgBoxInfoCaption("Internet connection Error please try again", "Client Message");
        return -1;
    }
    const std::vector<std::string> f = login::SplitFields(reply);
    if (f.empty()) {
        WriteLog(0, "Unlock reply :" + reply);
        MsgBoxInfoCaption("Unable to authenticate , Improper response please try again", "Client Message");
        return -1;
    }
    if (f.size() == 1)
        return -1;
    if (ReplyStatus(login::FieldAt(f, 2)) != 0) {
        if (f.size() >= 3)
            MsgBoxInfoCaption(login::FieldAt(f, 3), "Server Message");
        else
            MsgBoxInfoCaption("Unable to authenticate blank response please try again", "Client Message");
        return 0;
    }
    return 1;
}

ui::Form* MakeUnlockDialog(pf::Shell& shell, LoginHost* host, TerminalLock& lock)
{
    return new unlock_login_detail::CUnlockLogin(shell, host, lock);
}
