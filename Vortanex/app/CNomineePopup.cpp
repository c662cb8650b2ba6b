#include "app/CNomineePopup.h"

#include "app/DialogExchange.h"

#include "app/base/SmallUtilities.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/LoginExchange.h"
#include "app/base/SessionRecord.h"
#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"
#include "server/ServerRequests.h"

#include "pf/shell.h"

#include <QRegularExpression>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <atomic>
#include <exception>

namespace nominee_popup_detail {
namespace {

std::atomic<int> g_nomineeState{0};

// The login's switches run to position 62 at least.
constexpr size_t kMinFlagsLength = 63;

ui::FormSpec nomineeSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CNomineePopup::kTemplateId;
    spec.name = "CNomineePopup";
    spec.caption = "Nominee Not Updated";
    spec.width = 300;
    spec.height = 170;
    spec.controls = {
        {CNomineePopup::kStatic, ControlKind::Static, "", {0, 0, 300, 4}},
        {CNomineePopup::kMainText, ControlKind::Static, "", {10, 8, 280, 60}},
        {CNomineePopup::kNoteText, ControlKind::Static, "", {10, 72, 280, 70}},
        {CNomineePopup::kUpdate, ControlKind::DefaultButton, "Update  Nominee", {110, 148, 80, 14}},
    };
    return spec;
}

// The panel shows its texts as rich text: the span of class red in red,
// everything else as marked up.
QString richText(const std::string& text)
{
    QString html = QString::fromStdString(text);
    html.replace(QRegularExpression("<span class=['\"]?red['\"]?>"), "<span style=\"color:#ff0000\">");
    return "<div style=\"font-family:Calibri; font-size:12.5pt\">" + html + "</div>";
}

QTextBrowser* browserIn(QWidget* holder)
{
    if (!holder)
        return nullptr;
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new QTextBrowser(holder);
    view->setOpenLinks(false);
    view->setFrameShape(QFrame::NoFrame);
    layout->addWidget(view);
    return view;
}

} // namespace
} // namespace nominee_popup_detail

NomineeReply FetchNomineeDetails(ExchangeCancel* cancel)
{
    WriteLog(3, "Entry GetNomineeDetails");
    const std::string request = "LoginData=3015|" + std::string(FixedTextView(pv_user_info.user_id)) + "|"
        + std::string(FixedTextView(pv_user_info.session_id)) + "|4";
    WriteLog(0, request);
    NomineeReply r;
    long length = 0;
    r.http = RequestServer(1, 3000, request, r.text, length, cancel);
    WriteLog(0, r.text);
    return r;
}

int ApplyNomineeDetails(const NomineeReply& r)
{
    if (r.http != 200)
        return -1;
    const std::vector<std::string> f = login::SplitFields(r.text);
    const int status = ReplyStatus(login::FieldAt(f, 2));
    if (status == 1) {
        WriteLog(0, login::FieldAt(f, 3).substr(0, 99));
        return -1;
    }
    // Only a whole switch string replaces the login's: a short one would
    // clear the switches it does not reach and end the notice as "done".
    const std::string flags = login::FieldAt(f, 5);
    if (flags.size() >= nominee_popup_detail::kMinFlagsLength)
        SetLoginFlags(flags.substr(0, 128));
    else
        WriteLog(0, "Nominee reply without the switches; the login's are kept");
    WriteLog(3, "Exit GetNomineeDetails");
    return status;
}

int GetNomineeDetails()
{
    return ApplyNomineeDetails(FetchNomineeDetails(nullptr));
}

CNomineePopup::CNomineePopup(pf::Shell& shell, QWidget* parent)
    : ui::Form(nominee_popup_detail::nomineeSpec(), parent), m_shell(shell), m_main(DefaultMainText())
{
    onClick(kUpdate, [this] { OnUpdate(); });
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] { OnTimer(kReenableTimer); });
    // The button stays off while the check runs; its timer brings it back.
    m_exchange = std::make_unique<DialogExchange>([](bool) {});
}

CNomineePopup::~CNomineePopup() = default;

bool CNomineePopup::isBusy() const
{
    return m_exchange && m_exchange->busy();
}

void CNomineePopup::setTexts(std::string title, std::string button, std::string mainText, std::string note)
{
    m_title = std::move(title);
    m_button = std::move(button);
    m_main = std::move(mainText);
    m_note = std::move(note);
}

std::string CNomineePopup::DefaultMainText()
{
    return "As per the new norms, it is now mandatory to add nominee in your trading and demat account(s).Failure in "
           "doing so, can lead to <span class='red'>deactivation of trading account.</span>";
}

std::string CNomineePopup::DefaultNote(const std::string& formAddress, const std::string& locatorAddress)
{
    return "<b>Note:</b> NRI and joint account holders may <a href=\"" + formAddress
        + "\">download nominee form</a> and submit it at the nearest branch. <a href=\"" + locatorAddress
        + "\">Click here</a> to find a branch.";
}

int CNomineePopup::NomineeState()
{
    return nominee_popup_detail::g_nomineeState.load();
}

void CNomineePopup::ResetNomineeState()
{
    nominee_popup_detail::g_nomineeState = 0;
}

void CNomineePopup::onInit()
{
    setWindowTitle(QString::fromStdString(m_title));
    setText(kUpdate, m_button);
    m_mainView = nominee_popup_detail::browserIn(control(kMainText));
    m_noteView = nominee_popup_detail::browserIn(control(kNoteText));
    const auto open = [this](const QUrl& url) { m_shell.openUrl(url.toString().toStdString(), pf::ShowMode::Normal); };
    if (m_mainView) {
        m_mainView->setHtml(nominee_popup_detail::richText(m_main));
        connect(m_mainView, &QTextBrowser::anchorClicked, this, open);
    }
    if (m_noteView) {
        m_noteView->setHtml(nominee_popup_detail::richText(m_note));
        connect(m_noteView, &QTextBrowser::anchorClicked, this, open);
    }
}

bool CNomineePopup::openNomineePage()
{
    WriteLog(0, std::string(1, pv_user_info.user_type));
    std::string query = "LoginData=1002|" + std::string(FixedTextView(pv_user_info.user_id)) + "|"
        + std::string(FixedTextView(pv_user_info.session_id)) + "|408";
    WriteLog(0, query);
    if (pv_user_info.encrypt != 0) {
        std::string encoded;
        if (!EncryptRequest(query, encoded))
            return false;
        // Base64 carries '+', '/' and '=': encoded so the page reads them back.
        query = UrlEncode(encoded, true);
    }
    ++m_openings;
    return m_shell.openUrl(std::string(FixedTextView(g_Config.Redirect_Url)) + "/qtrade/qlogin.exe?" + query,
                           pf::ShowMode::Normal);
}

void CNomineePopup::OnUpdate()
{
    try {
        enable(kUpdate, false);
        if (m_mainView)
            m_mainView->setPlainText(QString::fromUtf8(
                "Note \u2013 If nominee details are not submitted,\n you\u2019ll be taken back to nominee details page. \n"
                " To proceed further, Kindly click on below button."));
        showControl(kNoteText, false);
        m_timer->start(kReenableMs);
        for (int round = 0; round < 2; ++round) {
            const int state = nominee_popup_detail::g_nomineeState.load();
            if (state == 0) {
                if (m_openings >= kMaxPageOpenings) {
                    WriteLog(0, "Nominee page opened " + std::to_string(m_openings) + " times; the notice is closed");
                    finish(1);
                    return;
                }
                if (!openNomineePage())
                    WriteLog(0, "Could not open the nominee page");
                nominee_popup_detail::g_nomineeState = 1;
                return;
            }
            if (state == 1) {
                if (isBusy())
                    return;
                // The check of the details runs off the UI thread.
                auto reply = std::make_shared<NomineeReply>();
                m_exchange->run([reply](ExchangeCancel& cancel) { *reply = FetchNomineeDetails(&cancel); },
                                [this, reply] {
                                    ApplyNomineeDetails(*reply);
                                    if (LoginFlagAt(62) == 'N') {
                                        nominee_popup_detail::g_nomineeState = 0;
                                        OnUpdate(); // the page opens again at once
                                        return;
                                    }
                                    nominee_popup_detail::g_nomineeState = 2;
                                    m_timer->stop();
                                    finish(1);
                                });
                return;
            }
            return;
        }
    } catch (const std::exception& e) {
        WriteLog(0, std::string("SException in display Nominee weblink : [") + e.what() + "]");
    } catch (...) {
        WriteLog(0, "Exception in display weblink");
    }
}

void CNomineePopup::OnTimer(int timerId)
{
    if (timerId != kReenableTimer)
        return;
    m_timer->stop();
    setText(kUpdate, "Click here");
    enable(kUpdate, true);
}

void CNomineePopup::reject()
{
    // Escape moves on instead of closing: the panel ends only when done.
    focusNextChild();
}
