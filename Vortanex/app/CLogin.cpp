#include "app/CLogin.h"

#include "app/base/AppSettings.h"
#include "app/CAuthClientDet.h"
#include "app/CChgPassword.h"
#include "app/DialogExchange.h"
#include "app/base/ConfigFile.h"
#include "app/base/SmallUtilities.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "frame/LoginHost.h"
#include "app/base/MachineDetails.h"
#include "app/base/Md5.h"
#include "app/base/MessageBox.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SeException.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "server/CompanionLists.h"
#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"
#include "server/ServerRequests.h"

#include "pf/shell.h"
#include "ui/modal_host.h"
#include "ui/prompter.h"
#include "ui/ui_thread.h"

#include <QPalette>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <system_error>

namespace login_detail {
namespace {

ui::FormSpec loginSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CLogin::kTemplateId;
    spec.name = "CLogin";
    spec.caption = "Login Details";
    // Sized to the texts at the default font: the labels and the access-code
    // button were cut at the template's widths.
    spec.width = 290;
    spec.height = 150;
    spec.controls = {
        {CLogin::kPicture, ControlKind::Button, "", {10, 8, 60, 40}},
        {CLogin::kUserIdRadio, ControlKind::Radio, "User Id", {80, 10, 60, 10}, {}, 1},
        {CLogin::kNickNameRadio, ControlKind::Radio, "Nick Name", {145, 10, 70, 10}, {}, 1},
        {CLogin::kIdLabel, ControlKind::Label, login::kUserIdLabel, {80, 26, 100, 12}},
        {CLogin::kUserId, ControlKind::Edit, "", {185, 26, 95, 12}, ui::EditRules{false, 25, {}, false}},
        {CLogin::kPasswordLabel, ControlKind::Label, "Password :", {80, 44, 100, 12}},
        {CLogin::kPassword, ControlKind::Password, "", {185, 44, 95, 12}},
        {CLogin::kTokenLabel, ControlKind::Label, "Token / AccessCode :", {80, 62, 100, 12}},
        {CLogin::kToken, ControlKind::Edit, "", {185, 62, 95, 12}},
        {1, ControlKind::DefaultButton, "Login", {80, 86, 50, 14}},
        {2, ControlKind::Button, "Exit", {135, 86, 50, 14}},
        {CLogin::kLoginHelp, ControlKind::Button, "Login Help", {80, 108, 75, 14}},
        {CLogin::kAccessCode, ControlKind::Button, "Generate Access Code", {160, 108, 120, 14}},
        {CLogin::kProgress, ControlKind::Label, "", {10, 128, 270, 10}},
    };
    return spec;
}

int focusId(login::Field field)
{
    switch (field) {
    case login::Field::Password: return CLogin::kPassword;
    case login::Field::Token: return CLogin::kToken;
    default: return CLogin::kUserId;
    }
}

void wipe(std::string& secret)
{
    secret.assign(secret.size(), '\0');
    secret.clear();
}

void info(std::string_view text)
{
    MyMessageBox(text, kProductCaption, MsgOk | MsgIconInformation);
}

void exclaim(std::string_view text)
{
    MyMessageBox(text, kProductCaption, MsgOk | MsgIconWarning);
}

constexpr const char* kQuitQuestion = "Do you want to Quit from this Application";

// The checks every recovery reply goes through; false when the exchange ends
// (after its message, or silently for a failed status where `silentHttp`).
bool recoveryReplyOk(int http, const std::string& reply, std::vector<std::string>& fields, bool silentHttp)
{
    if (http == 407) {
        MsgBoxOk("Proxy Authentication Failed");
        return false;
    }
    if (http != 200) {
        if (!silentHttp)
            MsgBoxOk(formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", http));
        return false;
    }
    if (reply.empty()) {
        info(login::kNoResponseText);
        return false;
    }
    fields = login::SplitFields(reply);
    if (fields.size() < 3) {
        info(login::IncompleteResponseText(reply));
        return false;
    }
    return true;
}

} // namespace
} // namespace login_detail

CLogin::CLogin(pf::Shell& shell, LoginHost* host, QWidget* parent)
    : ui::Form(login_detail::loginSpec(), parent), m_shell(shell), m_host(host)
{
    onClick(1, [this] { OnOK(); });
    onClick(2, [this] { OnCancel(); });
    onClick(kUserIdRadio, [this] { setIdMode(false); });
    onClick(kNickNameRadio, [this] { setIdMode(true); });
    onClick(kLoginHelp, [this] { OnLoginHelp(); });
    onClick(kAccessCode, [this] { GenerateAccessCode(); });
    if (QWidget* b = control(kAccessCode))
        b->setToolTip(QStringLiteral("Generate Acces Code"));
    m_accessTimer = new QTimer(this);
    m_accessTimer->setSingleShot(true);
    connect(m_accessTimer, &QTimer::timeout, this, [this] { OnTimer(kAccessCodeTimer); });
    showControl(kProgress, false);
    m_exchange = std::make_unique<DialogExchange>([this](bool busy) { setExchangeControls(busy); });
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(1000);
    connect(m_progressTimer, &QTimer::timeout, this, [this] {
        ++m_progressSeconds;
        showProgress();
    });
}

CLogin::~CLogin()
{
    // An exchange still running is abandoned and collected; the help worker
    // may be waiting for the UI thread (a box or a dialog): serve it until it
    // has finished, then collect it.
    m_exchange.reset();
    if (m_worker.joinable()) {
        ui::UiThread::pumpUntil([this] { return m_workerDone.load(); }, 10 * 60 * 1000);
        m_worker.join();
    }
}

bool CLogin::isExchangeBusy() const
{
    return m_exchange && m_exchange->busy();
}

void CLogin::showProgress()
{
    setText(kProgress, m_progressText + " (" + std::to_string(m_progressSeconds) + " s)");
}

void CLogin::setExchangeControls(bool busy)
{
    if (m_unlock) {
        enable(kPassword, !busy);
        enable(1, !busy);
    } else {
        for (int id : {kUserId, kPassword, kToken, kUserIdRadio, kNickNameRadio, kLoginHelp, kAccessCode, 1})
            enable(id, !busy);
    }
    // Exit stays usable: while the exchange runs it cancels it.
    setText(2, busy ? "Cancel" : "Exit");
    enable(2, true);
    showControl(kProgress, busy);
    if (busy) {
        m_progressSeconds = 0;
        showProgress();
        m_progressTimer->start();
    } else {
        m_progressTimer->stop();
        setText(kProgress, "");
    }
}

void CLogin::runExchange(const std::string& progress, std::function<void(ExchangeCancel&)> work,
                         std::function<void()> done)
{
    m_progressText = progress;
    if (!m_exchange->run(std::move(work), std::move(done)))
        MsgBoxOk("Unknown Internet Error");
}

void CLogin::cancelExchange()
{
    m_exchange->cancel();
    // What the cancelled exchange got so far is not trusted: the next attempt
    // asks for the encryption details again.
    g_EncryptionDetailsFlag = 0;
    focus(kPassword);
}

void CLogin::onInit()
{
    for (int id : {kIdLabel, kPasswordLabel, kTokenLabel, kPicture})
        if (QWidget* w = control(id))
            w->setStyleSheet(QStringLiteral("color: #804000;")); // 0x804000 as the labels' 0x00BBGGRR
    const QPixmap background(QString::fromStdString((ProgramPaths().graphics() / "Vivazired.oze").string()));
    if (!background.isNull()) {
        QPalette p = palette();
        p.setBrush(QPalette::Window, background);
        setPalette(p);
    }
    setChecked(kUserIdRadio, true);
    WriteLog(0, std::string("Build Number ") + kBuildText);
    if (m_unlock) {
        setText(kUserId, FixedTextView(pv_user_info.user_id));
        for (int id : {kUserId, kToken, kUserIdRadio, kNickNameRadio})
            enable(id, false);
        for (int id : {kLoginHelp, kAccessCode, kPicture})
            showControl(id, false);
        focus(kPassword);
        return;
    }
    CopyFixedText(pv_user_info.local_address, login::LocalAddressText());
    if (!m_lastId.empty()) {
        setIdMode(m_lastIdIsNickName);
        setText(kUserId, m_lastId);
    }
    // Typing starts at once: in the id, or in the password when the id is
    // already there.
    focus(text(kUserId).empty() ? kUserId : kPassword);
}

void CLogin::setIdMode(bool nickName)
{
    setText(kIdLabel, nickName ? login::kNickNameLabel : login::kUserIdLabel);
    setChecked(kNickNameRadio, nickName);
    setChecked(kUserIdRadio, !nickName);
    setText(kUserId, "");
    setText(kPassword, "");
    setText(kToken, "");
    focus(kUserId);
}

void CLogin::clearSecrets()
{
    setText(kPassword, "");
    setText(kToken, "");
    enable(1, true);
}

bool CLogin::ensureEncryptionDetails(ExchangeCancel* cancel)
{
    if (g_EncryptionDetailsFlag.load() != 0)
        return true;
    if (GetEncryptionKeyDetails(cancel) != 0) {
        WriteLog(0, "Unable to get Encryption Details..");
        return false;
    }
    g_EncryptionDetailsFlag = 1;
    return true;
}

// One login attempt as the exchange thread sees it: what it sends, and what
// came back.
struct CLogin::LoginJob {
    std::string id;
    std::string digest;
    std::string token;
    int idKind = 0;
    int repeat = 0;
    int userFile = 0;
    bool detailsFailed = false;
    int http = -1;
    std::string reply;
    ~LoginJob()
    {
        login_detail::wipe(digest);
        login_detail::wipe(reply);
    }
};

void CLogin::Login()
{
    loginAttempt(0);
}

void CLogin::loginAttempt(int repeat)
{
    try {
        enable(1, false);
        const std::string id = login::Trim(text(kUserId));
        std::string password = text(kPassword);
        const std::string token = text(kToken);
        const int idKind = login::IdKindOfLabel(text(kIdLabel));
        if (const auto problem = login::CheckLoginInput(idKind, id, password, token)) {
            MsgBoxOk(problem->message);
            enable(1, true);
            focus(login_detail::focusId(problem->focus));
            login_detail::wipe(password);
            return;
        }
        if (m_unlock) {
            unlockStep(id, password);
            login_detail::wipe(password);
            return;
        }
        pv_user_info.id_kind = static_cast<short>(idKind);
        if (idKind == 1)
            CopyFixedText(pv_user_info.user_id, id);
        else if (idKind == 2)
            CopyFixedText(pv_user_info.nick_name, id);

        auto job = std::make_shared<LoginJob>();
        job->id = id;
        job->token = token;
        job->idKind = idKind;
        job->repeat = repeat;
        HashPassword(password, job->digest);
        login_detail::wipe(password);
        job->userFile = LoadUserConfigDetails(id);
        runExchange(
            "Logging in",
            [job](ExchangeCancel& cancel) {
                if (!ensureEncryptionDetails(&cancel)) {
                    job->detailsFailed = true;
                    return;
                }
                WriteLog(0, formatText("Encrypt=[%d]", g_EncryptionDetailsFlag.load()));
                std::string request = login::BuildLoginRequest(
                    job->id, job->digest, FixedTextView(pv_user_info.local_address), job->token, job->idKind,
                    DeviceId(), FixedTextView(g_Session.security_stamp));
                login_detail::wipe(job->digest);
                long length = 0;
                if (!request.empty())
                    job->http = RequestServer(pv_user_info.encrypt, 3000, request, job->reply, length, &cancel);
                login_detail::wipe(request);
            },
            [this, job] { loginReply(job); });
    } catch (...) {
        LogCaught("CLogin::Login");
        enable(1, true);
    }
}

void CLogin::loginReply(const std::shared_ptr<LoginJob>& job)
{
    if (job->detailsFailed) {
        clearSecrets();
        return;
    }
    const int http = job->http;
    login::LoginReply parsed;
    int status = -1;
    if (http == 407) {
        MsgBoxInfoCaption("Proxy Authentication Failed", "Internet Error");
    } else if (http != 200) {
        MsgBoxInfoCaption(formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", http),
                          "Internet Error");
    } else if (job->reply.empty()) {
        MsgBoxOk("Unknown Internet Error");
    } else {
        parsed = login::ApplyLoginReply(job->reply);
        status = parsed.status;
        if (parsed.fieldCount < 3 && status == -1) {
            // No status the login can act on (an error page, a cut reply).
            WriteLog(0, "Login reply without a status");
            MsgBoxOk("Error : Invalid response received for your request.");
        } else if (parsed.fieldCount >= 3 && status != 0 && status != 2 && status != 3 && status != 4) {
            if (status == 109 || status == 6002)
                MsgBoxOk("Invalid Credential");
            else
                MsgBoxInfo(parsed.message);
        }
        // A reply that sized the client table impossibly cannot log in:
        // the views would work on a table that does not exist.
        if (parsed.clientTableRefused && (status == 0 || status == 2 || status == 4)) {
            MsgBoxOk("Invalid client details received. Pls contact System Administrator");
            status = -1;
        }
        if (parsed.userIdRefused && (status == 0 || status == 2 || status == 4)) {
            WriteLog(0, "Login reply's user id is not a plain name; login refused");
            MsgBoxOk("Invalid user id received. Pls contact System Administrator");
            status = -1;
        }
    }
    login_detail::wipe(job->reply);
    m_lastStatus = status;

    switch (status) {
    case 0:
        if (pv_user_info.user_type != 'V') {
            const int counter = parsed.servicesCounter;
            GetClientServicesDet([this, job, counter] {
                g_Config.Services_Counter = counter;
                loginSucceeded(*job, true);
            });
            return;
        }
        loginSucceeded(*job, false);
        return;
    case 2:
        // The server asks for the same login again; a server that keeps
        // asking must not hold the dialog for ever.
        if (job->repeat >= login::kMaxLoginRepeats) {
            WriteLog(0, formatText("Login repeated %d times without an answer; given up", job->repeat));
            MsgBoxOk("Login could not be completed. Please try again.");
            failureTail(status);
            return;
        }
        loginAttempt(job->repeat + 1);
        return;
    case 3:
    case 4: {
        std::string query = login::BuildBrowserLoginText(parsed.pageAddress);
        bool open = true;
        if (pv_user_info.encrypt != 0) {
            std::string encoded;
            open = EncryptRequest(query, encoded);
            // Base64 carries '+', '/' and '=': encoded so the page reads them back.
            query = UrlEncode(encoded, true);
        }
        const std::string url = std::string(FixedTextView(g_Config.Redirect_Url)) + "/qtrade/qlogin.exe?" + query;
        if (!open || !m_shell.openUrl(url, pf::ShowMode::Normal))
            WriteLog(0, "Could not open the login page");
        if (status == 4) {
            if (successTail())
                finish(1);
            return;
        }
        // The session stays usable: the next attempt needs it.
        clearSecrets();
        return;
    }
    default:
        failureTail(status);
        return;
    }
}

void CLogin::loginSucceeded(const LoginJob& job, bool servicesRan)
{
    // A login the server had repeated saves the settings as well.
    if (job.userFile != 1 || servicesRan || job.repeat > 0)
        SaveSettings();
    WriteLog(0, LoginFlags());
    if (LoginFlagAt(62) == 'N' && m_host)
        m_host->showNomineeNotice();
    if (LoginFlagAt(1) == '1' && FixedTextView(g_Session.risk_accepted) != "Y" && m_host)
        m_host->showRiskDisclosure();
    if (successTail())
        finish(1);
}

bool CLogin::successTail()
{
    if (m_host) {
        m_host->clearUnlockDialog();
        m_host->updateProfileButton(1, 1);
        m_host->setFeedbackButtonPopup(1);
    }
    return true;
}

bool CLogin::failureTail(int status)
{
    ++m_attempts;
    if (m_attempts >= 3) {
        OnCancel();
        return false;
    }
    if (status == 60041) {
        finish(2);
    } else if (status == 110) {
        CChgPassword change{std::string(FixedTextView(pv_user_info.user_id))};
        ui::modalHost().run(change);
    }
    clearSecrets();
    g_EncryptionDetailsFlag = 0;
    return false;
}

void CLogin::OnOK()
{
    if (isExchangeBusy())
        return; // Enter while the exchange runs
    try {
        Login();
    } catch (...) {
        WriteLog(0, "Exception while login ok");
        OnCancel();
    }
    WriteLog(3, "Exit from Login ok");
}

void CLogin::OnCancel()
{
    if (isExchangeBusy()) {
        cancelExchange();
        return;
    }
    if (m_helpBusy) {
        // The help worker still works on this dialog.
        WriteLog(0, "Login Help in progress; the dialog stays open");
        return;
    }
    if (m_attempts <= 2
        && MyMessageBox(login_detail::kQuitQuestion, kProductCaption, MsgYesNo | MsgIconQuestion | MsgDefButton2) != 6)
        return;
    finish(2);
    if (m_host) {
        m_host->clearUnlockDialog();
        if (m_unlock)
            m_host->postApplicationExit();
    }
}

void CLogin::GetClientServicesDet(std::function<void()> then)
{
    WriteLog(0, "Entry : CLogin::GetClientServicesDet");
    struct Reply {
        int http = -1;
        std::string text;
        std::vector<ServiceRecord>* services = nullptr;
    };
    auto reply = std::make_shared<Reply>();
    LoginHost* host = m_host;
    runExchange(
        "Getting the client services",
        [reply, host](ExchangeCancel& cancel) {
            // The services list is made current here too: it may have to be
            // downloaded first. Nothing else uses it while the login runs.
            reply->services = host ? host->currentServices() : nullptr;
            if (cancel.cancelled())
                return;
            long length = 0;
            reply->http = RequestServer(pv_user_info.encrypt, 920, login::BuildServicesRequest(), reply->text, length,
                                        &cancel);
        },
        [this, reply, then = std::move(then)] {
            try {
                std::vector<ServiceRecord>* services = reply->services;
                std::vector<ServiceRecord> none;
                if (reply->http != 200) {
                    WriteLog(0, formatText("Client services request failed [%d]", reply->http));
                } else {
                    const login::ServicesOutcome outcome =
                        login::ApplyServicesReply(reply->text, services ? *services : none);
                    if (!outcome.message.empty()) {
                        if (outcome.plainBox)
                            MsgBoxOk(outcome.message);
                        else
                            MsgBoxStyle(outcome.message, MsgIconError);
                    }
                }
            } catch (...) {
                WriteLog(0, "Exception in GetClientServicesDet");
            }
            WriteLog(0, "Exit : CLogin::GetClientServicesDet");
            then();
        });
}

// --- recovery ---------------------------------------------------------------

CLogin::HelpInput CLogin::readHelpInput() const
{
    HelpInput in;
    in.id = login::Trim(text(kUserId));
    in.password = text(kPassword);
    in.idKind = login::IdKindOfLabel(text(kIdLabel));
    return in;
}

void CLogin::setHelpControls(bool on)
{
    for (int id : {kAccessCode, kLoginHelp, kUserId, kPassword, kToken, 1, 2})
        enable(id, on);
}

void CLogin::OnTimer(int timerId)
{
    if (timerId == kAccessCodeTimer)
        setHelpControls(true);
}

bool CLogin::checkRecoveryIdentity(const HelpInput& in)
{
    if (!login::RecoveryIdentityOk(in.idKind, in.id)) {
        login_detail::exclaim("Invalid Credential");
        return false;
    }
    ui::UiThread::call([&in] {
        if (in.idKind == 1)
            CopyFixedText(pv_user_info.user_id, in.id);
        else if (in.idKind == 2)
            CopyFixedText(pv_user_info.nick_name, in.id);
        if (in.idKind == 1 || in.idKind == 2)
            pv_user_info.id_kind = static_cast<short>(in.idKind);
    });
    return true;
}

void CLogin::OnLoginHelp()
{
    if (m_unlock || m_helpBusy)
        return;
    ui::MenuSpec menu;
    for (const auto& [id, caption] : {std::pair<int, const char*>{kForgotPassword, "Forgot Password"},
                                      {kForgotPasswordOtp, "Forgot Password with OTP"},
                                      {kForgotSecurityKey, "Forgot Security Key"},
                                      {kLostSecurityKey, "Lost/Damage Security Key"}}) {
        ui::MenuItem item;
        item.id = id;
        item.text = caption;
        menu.items.push_back(item);
    }
    QPoint at;
    if (QWidget* b = control(kLoginHelp))
        at = b->mapToGlobal(QPoint(0, b->height()));
    const int command = ui::prompter().pickMenuCommand(menu, at.x(), at.y());
    if (command != kForgotPassword && command != kForgotPasswordOtp && command != kForgotSecurityKey
        && command != kLostSecurityKey)
        return;
    runHelp(command);
}

void CLogin::runHelp(int command)
{
    if (m_worker.joinable())
        m_worker.join(); // the previous exchange has ended (not busy)
    m_helpInput = readHelpInput();
    // The inputs go off before the worker starts, so nothing can be typed or
    // pressed in between; the worker turns them back on when it ends.
    setHelpControls(false);
    m_helpBusy = true;
    m_workerDone = false;
    m_workerStarted = false;
    try {
        m_worker = std::thread([this, command] {
            m_workerStarted = true;
            try {
                switch (command) {
                case kForgotPassword:
                    m_resetMode = 1;
                    ForgotPassword();
                    break;
                case kForgotSecurityKey: ForgotSecurityKey(1); break;
                case kLostSecurityKey: ForgotSecurityKey(2); break;
                case kForgotPasswordOtp:
                    m_resetMode = 2;
                    ForgotPassword();
                    break;
                default:
                    MyMessageBox("Invalid Option selected connot process request", kProductCaption,
                                 MsgOk | MsgIconWarning);
                    break;
                }
            } catch (...) {
                LogCaught("Login Help");
            }
            ui::UiThread::call([this] {
                login_detail::wipe(m_helpInput.password);
                setHelpControls(true);
                m_helpBusy = false;
            });
            m_helpBusy = false;
            m_workerDone = true;
        });
    } catch (const std::system_error& e) {
        WriteLog(0, std::string("Login Help could not start its worker: ") + e.what());
        m_helpBusy = false;
        m_workerDone = true;
        setHelpControls(true);
    }
}

void CLogin::ForgotPassword()
{
    const HelpInput in = m_helpInput;
    if (!checkRecoveryIdentity(in))
        return;
    if (!ensureEncryptionDetails()) {
        ui::UiThread::call([this] { clearSecrets(); });
        return;
    }
    if (MyMessageBox("Are you sure you want to request for forgot password ?", "Confirmation",
                     MsgYesNo | MsgIconQuestion)
        != 6)
        return;
    const int idKind = in.idKind == 0 ? 255 : in.idKind;
    const std::string address(FixedTextView(pv_user_info.local_address));
    const auto send = [&](std::vector<std::string>& fields) {
        const std::string request = login::BuildForgotPasswordRequest(in.id, address, idKind, m_resetMode);
        WriteLog(0, request);
        std::string reply;
        long length = 0;
        const int http = RequestServer(pv_user_info.encrypt, 1007, request, reply, length);
        WriteLog(0, reply);
        return login_detail::recoveryReplyOk(http, reply, fields, true);
    };
    const auto openQuestions = [&](const std::vector<std::string>& f) {
        const std::string uid = login::FieldAt(f, 4);
        const int count = login::ToInt(login::FieldAt(f, 6));
        const int required = login::ToInt(login::FieldAt(f, 7));
        const std::string data = login::FieldAt(f, 8);
        ui::UiThread::call([&] { CAuthClientDet::RunQuestions(uid, in.id, in.idKind, count, required, data); });
    };

    std::vector<std::string> f;
    if (!send(f))
        return;
    const int status = ReplyStatus(f[1]);
    if (status == 1) {
        openQuestions(f);
    } else if (status == 102) {
        if (MyMessageBox(f[2] + " ", kProductCaption, MsgOkCancel | MsgIconInformation) == 1)
            ui::UiThread::call([&] { CAuthClientDet::RunOtpForm(in.id, in.idKind); });
    } else if (status == 100 || status == 101) {
        m_resetMode = status == 100 ? 2 : 1;
        if (MyMessageBox(f[2] + " ", kProductCaption, MsgOkCancel | MsgIconInformation) != 1)
            return;
        WriteLog(0, "debug2");
        std::vector<std::string> g;
        if (!send(g))
            return;
        if (ReplyStatus(g[1]) == 1)
            openQuestions(g);
        else
            login_detail::info(g[2].empty() ? "Unable to send forgot password request" : g[2]);
    } else if (status == 0) {
        const std::string replyId = login::FieldAt(f, 4);
        if (replyId.empty())
            login_detail::info(login::BlankIdText(in.id));
        else if (in.idKind == 1 && replyId != in.id)
            login_detail::info(login::MismatchText(in.id, replyId));
        else
            login_detail::info(f[2]);
    } else {
        login_detail::info(f[2].empty() ? "Unable to send forgot password request" : "Invalid credential");
    }
}

void CLogin::ForgotSecurityKey(int kind)
{
    const HelpInput in = m_helpInput;
    if (!checkRecoveryIdentity(in))
        return;
    if (in.password.empty() || login::CharacterCount(in.password) > 10) {
        login_detail::exclaim("Invalid Credential");
        return;
    }
    if (!ensureEncryptionDetails())
        return;
    const int idKind = in.idKind == 0 ? 255 : in.idKind;
    std::string digest;
    HashPassword(in.password, digest);
    std::string request = login::BuildSecurityKeyRequest(1008, in.id, digest, kind, idKind);
    WriteLog(0, MaskSecretIn(request, digest));
    std::string reply;
    long length = 0;
    int http = RequestServer(pv_user_info.encrypt, 1008, request, reply, length);
    login_detail::wipe(request);
    login_detail::wipe(digest);
    std::vector<std::string> f;
    if (!login_detail::recoveryReplyOk(http, reply, f, false))
        return;
    if (f[0] != "1058") {
        login_detail::info(login::TscText(f[0]));
        return;
    }
    if (ReplyStatus(f[1]) != 0) {
        if (!f[2].empty())
            WriteLog(0, f[2]);
        else
            login_detail::info("Unable to send forgot security key  request");
        return;
    }
    const std::string mobile = login::FieldAt(f, 4);
    const std::string replyId = login::FieldAt(f, 5);
    const std::string confirmText = login::FieldAt(f, 7);
    if (replyId.empty()) {
        login_detail::info(login::BlankIdText(in.id));
        return;
    }
    if (in.idKind == 1 && replyId != in.id) {
        login_detail::info(login::MismatchText(in.id, replyId));
        return;
    }
    if (mobile.empty()) {
        login_detail::info("No registered mobile no found to send the security key");
        return;
    }
    if (confirmText.empty()) {
        login_detail::info("No Display Message received for your request please try after some time");
        return;
    }
    if (MyMessageBox(confirmText, "Confirmation", MsgYesNo | MsgIconQuestion) != 6)
        return;

    request = login::BuildSecurityKeyRequest(1009, in.id, mobile, kind, idKind);
    WriteLog(0, request);
    reply.clear();
    http = RequestServer(pv_user_info.encrypt, 1009, request, reply, length);
    std::vector<std::string> g;
    if (!login_detail::recoveryReplyOk(http, reply, g, false))
        return;
    if (g[0] != "1059") {
        login_detail::info(
            formatText("Invalid Response received for forgor sec key [TSC:%s] ..\nplease try again", g[0].c_str()));
        return;
    }
    if (ReplyStatus(g[1]) != 0) {
        login_detail::info(g[2].empty() ? "Unable to send forgot security key  request" : g[2]);
        return;
    }
    const std::string confirmedId = login::FieldAt(g, 4);
    if (confirmedId.empty())
        login_detail::info(login::BlankIdText(in.id));
    else if (confirmedId != in.id)
        login_detail::info(login::MismatchText(in.id, confirmedId));
    else
        login_detail::info(g[2]);
}

void CLogin::GenerateAccessCode()
{
    if (m_unlock || m_helpBusy)
        return;
    HelpInput in = readHelpInput();
    if (!checkRecoveryIdentity(in)) {
        login_detail::wipe(in.password);
        return;
    }
    if (in.password.empty() || login::CharacterCount(in.password) > 10) {
        login_detail::info("Please enter a valid password");
        login_detail::wipe(in.password);
        return;
    }
    const int idKind = in.idKind == 0 ? -1 : in.idKind;
    auto job = std::make_shared<LoginJob>();
    HashPassword(in.password, job->digest);
    login_detail::wipe(in.password);
    job->id = in.id;
    job->idKind = in.idKind;
    runExchange(
        "Generating the access code",
        [job, idKind](ExchangeCancel& cancel) {
            if (!ensureEncryptionDetails(&cancel)) {
                job->detailsFailed = true;
                return;
            }
            std::string request = login::BuildAccessCodeRequest(
                job->id, job->digest, FixedTextView(pv_user_info.local_address), idKind);
            long length = 0;
            job->http = RequestServer(pv_user_info.encrypt, 1011, request, job->reply, length, &cancel);
            login_detail::wipe(request);
            login_detail::wipe(job->digest);
        },
        [this, job] { accessCodeReply(*job); });
}

void CLogin::accessCodeReply(const LoginJob& job)
{
    HelpInput in;
    in.id = job.id;
    in.idKind = job.idKind;
    if (job.detailsFailed)
        return;
    const int http = job.http;
    const std::string& reply = job.reply;
    focus(kToken);

    const auto failed = [this](std::string_view text) {
        login_detail::info(text);
        clearSecrets();
    };
    std::vector<std::string> f;
    if (http == 407) {
        MsgBoxOk("Proxy Authentication Failed");
        return;
    }
    if (http != 200) {
        MsgBoxOk(formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", http));
        return;
    }
    if (reply.empty()) {
        login_detail::info(login::kNoResponseText);
        return;
    }
    f = login::SplitFields(reply);
    if (f.size() < 3) {
        failed(login::IncompleteResponseText(reply));
        return;
    }
    if (f[0] != "1061") {
        failed(login::TscText(f[0]));
        return;
    }
    const std::string replyId = f[2];
    const std::string text4 = login::FieldAt(f, 4);
    if (replyId.empty()) {
        failed("Invalid Response received user id is blank in response..\nplease try again");
        return;
    }
    if (in.idKind == 1 && replyId != in.id) {
        failed(login::MismatchText(in.id, text4));
        return;
    }
    const int status = ReplyStatus(f[1]);
    if (status == 0) {
        if (text4.empty())
            login_detail::exclaim("You will receive your Access Code on your preferred Email Id and Mobile Number shortly.");
        else
            login_detail::info(text4);
        focus(kToken);
        return;
    }
    if (text4.empty()) {
        login_detail::exclaim("Unable to generate access code");
    } else {
        if (status == 109 || status == 1022)
            MsgBoxOk("Invalid Credential");
        else
            login_detail::exclaim(text4);
        if (status == 110) {
            CopyFixedText(pv_user_info.user_id, in.id);
            CChgPassword change{replyId};
            ui::modalHost().run(change);
        }
    }
    clearSecrets();
    focus(kPassword);
}
