#include "frame/CWebLinks.h"

#include "app/base/ActivityStamp.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "pf/shell.h"
#include "server/ServerRequests.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QResizeEvent>

namespace {

CWebLinks* g_webLinks = nullptr;

std::string trimmed(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return {};
    const size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

bool badClientChar(unsigned char c)
{
    static const std::string kRefused = "`~!@#$%^&*()_-=+\\|;:\"'[{]}<,>/? ";
    return c < 0x20 || c == 0x7f || c >= 0x80 || kRefused.find(char(c)) != std::string::npos;
}

} // namespace

WebLinkRequest BuildWebLinkRequest(const WebLinkRequestInput& in,
                                   const std::function<bool(const std::string&, std::string&)>& encrypt)
{
    WebLinkRequest out;
    const std::string client = trimmed(in.clientEdit);
    if (client.empty() && in.clientMode == '2') {
        out.result = WebLinkRequestResult::NoClient;
        return out;
    }
    for (unsigned char c : client) {
        if (badClientChar(c)) {
            out.result = WebLinkRequestResult::BadClient;
            return out;
        }
    }
    const bool dealer = in.userType == 'A' || in.userType == 'D' || in.userType == 'P';
    // Values go into a web address: encoded, so none can add a field or a
    // parameter of its own (ids of letters and digits are unchanged).
    const auto value = [&](const std::string& v) { return in.encrypt ? v : UrlEncode(v, true); };
    out.text = "LoginData=1002|" + value(in.userId) + "|" + value(in.clientCode) + "|" + std::to_string(in.linkNumber);
    if (dealer)
        out.text += "&ClientUserId=" + value(client);
    std::string query = out.text;
    if (in.encrypt) {
        std::string encoded;
        if (!encrypt || !encrypt(out.text, encoded)) {
            out.result = WebLinkRequestResult::NotEncoded;
            return out;
        }
        query = UrlEncode(encoded, true);
    }
    out.address = in.webBase + "/qtrade/qlogin.exe?" + query;
    return out;
}

CWebLinks::CWebLinks(pf::Shell& shell, Hooks hooks, QWidget* parent)
    : QWidget(parent), m_shell(shell), m_hooks(std::move(hooks))
{
    m_reload = SecurityReload::instance().add("web links", [this](const SecurityTable&, SecurityTable&) {
        m_reload.reset();
        Close_Window();
        return SecurityReload::Outcome{true, "web links"};
    });
    m_bar = new QWidget(this);
    auto* row = new QHBoxLayout(m_bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("Select Web Links :"), m_bar));
    m_combo = new QComboBox(m_bar);
    m_combo->setEnabled(false); // the links are chosen on the ribbon
    row->addWidget(m_combo);
    row->addWidget(new QLabel(QStringLiteral("Client :"), m_bar));
    m_client = new QLineEdit(m_bar);
    row->addWidget(m_client);
    const auto button = [&](const QString& caption, void (CWebLinks::*slot)()) {
        auto* b = new QPushButton(caption, m_bar);
        connect(b, &QPushButton::clicked, this, slot);
        row->addWidget(b);
        return b;
    };
    button(QStringLiteral("Back"), &CWebLinks::GoBack);
    button(QStringLiteral("Forward"), &CWebLinks::GoForward);
    button(QStringLiteral("Refresh"), &CWebLinks::Reload);
    button(QStringLiteral("Home"), &CWebLinks::GoHome);
    row->addStretch();

    m_browser = ui::makeBrowserView(this, m_shell);
    m_browser->setBeforeNavigate([this](const QUrl&, ui::NavigationKind) {
        if (m_hooks.isLocked && m_hooks.isLocked()) {
            if (m_hooks.message)
                m_hooks.message("Terminal is Locked. Pls Unlock to Navigate");
            return false;
        }
        return true;
    });
    setWindowTitle(QStringLiteral("WebLinks"));
    g_webLinks = this;
}

CWebLinks::~CWebLinks()
{
    WriteLog(1, "Entry : CWebLinks::OnDestroy");
    if (g_webLinks == this)
        g_webLinks = nullptr;
    WriteLog(1, "Exit  : CWebLinks::OnDestroy");
}

CWebLinks* CWebLinks::Instance() { return g_webLinks; }

void CWebLinks::Close_Window()
{
    WriteLog(1, "Entry : CWebLinks::Close_Window");
    try {
        if (g_webLinks == this)
            g_webLinks = nullptr;
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->close();
        else
            close();
    } catch (...) {
        WriteLog(0, "Exception in COrderView::Close_Window");
    }
    WriteLog(1, "Exit : CWebLinks::Close_Window");
}

void CWebLinks::resizeEvent(QResizeEvent* event)
{
    const int cx = event->size().width(), cy = event->size().height();
    m_bar->setGeometry(5, 1, std::max(0, cx - 10), 40);
    m_browser->widget()->setGeometry(5, 50, std::max(0, cx - 10), std::max(0, cy - 60));
    QWidget::resizeEvent(event);
}

void CWebLinks::applyClientRule()
{
    const int current = pv_user_info.client_index < 0 ? 0 : pv_user_info.client_index;
    const bool dealer = pv_user_info.user_type == 'A' || pv_user_info.user_type == 'D';
    if (current == 0 && dealer) {
        m_client->setReadOnly(false);
        return;
    }
    m_client->setReadOnly(true);
    if (current < int(g_Session.clients.size()))
        m_client->setText(QString::fromStdString(std::string(FixedTextView(g_Session.clients[size_t(current)].user_id))));
}

void CWebLinks::ShowSelectedLink(int linkIndex)
{
    m_link = linkIndex;
    DisplayWeblinkX();
}

void CWebLinks::DisplayWeblinkX()
{
    try {
        WriteLog(0, "Entry : CWebLinks::DisplayWeblinkX");
        applyClientRule();
        if (m_link < 0 || m_link >= g_WebLinkTable.count()) {
            WriteLog(0, "Invalid Weblink option selected");
            return;
        }
        const WebLinkRecord& link = g_WebLinkTable.links[size_t(m_link)];
        WebLinkRequestInput in;
        in.userType = pv_user_info.user_type;
        in.userId = std::string(FixedTextView(pv_user_info.user_id));
        const int current = pv_user_info.client_index < 0 ? 0 : pv_user_info.client_index;
        if (current < int(g_Session.clients.size()))
            in.clientCode = std::string(FixedTextView(g_Session.clients[size_t(current)].client_code));
        in.linkNumber = link.WebId;
        in.clientEdit = m_client->text().toStdString();
        in.clientMode = link.Pref[1];
        in.encrypt = pv_user_info.encrypt;
        in.webBase = std::string(FixedTextView(g_Config.Redirect_Url));
        const WebLinkRequest r = BuildWebLinkRequest(in, [](const std::string& t, std::string& o) { return EncryptRequest(t, o); });
        if (r.result == WebLinkRequestResult::NoClient)
            return;
        if (r.result == WebLinkRequestResult::BadClient) {
            if (m_hooks.message)
                m_hooks.message("Please enter Valid Client");
            m_client->setFocus();
            return;
        }
        if (r.result == WebLinkRequestResult::NotEncoded) {
            WriteLog(0, "Web link not opened: the request could not be encoded");
            return;
        }
        const std::string name(FixedTextView(link.Name));
        const std::string title = formatText("WebLinks - %s for %s", name.c_str(), m_client->text().trimmed().toStdString().c_str());
        WriteLog(0, title);
        setWindowTitle(QString::fromStdString(title));
        WriteLog(0, r.text);
        WriteLog(0, r.address);
        const QUrl url(QString::fromStdString(r.address), QUrl::TolerantMode);
        if (name == "Estimated Charges" || link.Pref[0] == '1') {
            if (ui::isWebAddress(url))
                m_shell.openUrl(r.address, name == "Estimated Charges" ? pf::ShowMode::Default : pf::ShowMode::Normal);
            else
                WriteLog(0, "Web link not opened: not a web address");
        } else if (link.Pref[0] == '0') {
            // The address starts with the server's web base: only a web
            // address goes into the browser, never a local file or a script.
            if (ui::isWebAddress(url))
                m_browser->navigate(url);
            else
                WriteLog(0, "Web link not opened: not a web address");
        }
        WriteLog(0, "Exit : CWebLinks::DisplayWeblinkX");
    } catch (...) {
        WriteLog(0, "Exception in display weblink");
    }
}

void CWebLinks::GoBack() { m_browser->back(); }

void CWebLinks::GoForward() { m_browser->forward(); }

void CWebLinks::Reload() { DisplayWeblinkX(); }

void CWebLinks::GoHome()
{
    const QUrl home(QString::fromStdString(std::string(FixedTextView(g_Config.Redirect_Url))));
    if (!ui::isWebAddress(home)) {
        WriteLog(0, "Web links home not opened: the server's web address is not a web address");
        return;
    }
    m_browser->navigate(home);
}
