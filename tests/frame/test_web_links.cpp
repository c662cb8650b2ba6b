// Web links: the ribbon's layout of the broker's links (panels, buttons,
// sub-items, "Useful Links", quick-access buttons, the caps), the page
// request of the web-links view, and the view itself on the recording
// browser stub: the lock refuses every navigation, a bad client id is refused.
#include "testkit/headless.h"

#include "app/base/ConfigFile.h"
#include "app/base/SessionRecord.h"
#include "frame/CWebLinks.h"
#include "frame/ImageCollections.h"
#include "frame/WebLinksRibbon.h"
#include "server/ServerRequests.h"
#include "ui/document_area.h"
#include "pf/shell.h"
#include "ui/command_bar.h"
#include "ui/commands.h"
#include "ui/recording_browser_view.h"

#include <QComboBox>
#include <QPointer>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTextDocument>
#include <QToolButton>

#include <cstring>
#include <string>
#include <vector>

namespace {

WebLinkRecord link(const char* name, const char* panel, const char* label, const char* pref, int webId = 0)
{
    WebLinkRecord r;
    std::strncpy(r.Name, name, sizeof r.Name - 1);
    std::strncpy(r.MainGroup, panel, sizeof r.MainGroup - 1);
    std::strncpy(r.ButtonLabel, label, sizeof r.ButtonLabel - 1);
    std::strncpy(r.Pref, pref, sizeof r.Pref - 1);
    std::strncpy(r.ToolTip, name, sizeof r.ToolTip - 1);
    r.WebId = webId;
    return r;
}

// Pref: open mode, client rule, kind, place.
std::vector<WebLinkRecord> sixLinks()
{
    return {
        link("Research Reports", "Research", "Reports", "00BS", 11),
        link("Morning Call", "Research", "Calls", "00WS", 12),
        link("Evening Call", "Research", "Calls", "00OS", 13),
        link("Feedback", "Tools", "Feedback", "00BF", 14),
        link("Calculator", "Tools", "Calc", "01TT", 15),
        link("Holidays", "Tools", "Holidays", "01TT", 16),
    };
}

std::string describe(const WebLinksLayout& l)
{
    std::string out;
    const auto button = [&](const WebLinkButton& b) {
        out += "  " + std::string(b.group ? "group " : "button ") + std::to_string(b.id) + " " + b.label.toStdString();
        for (const ui::SubItem& s : b.items)
            out += " [" + std::to_string(s.id) + " " + s.text.toStdString() + "]";
        out += "\n";
    };
    for (const WebLinkPanel& p : l.panels) {
        out += "panel " + p.name.toStdString() + "\n";
        for (const WebLinkButton& b : p.buttons)
            button(b);
    }
    out += "tab row\n";
    for (const WebLinkButton& b : l.tabRow)
        button(b);
    return out;
}

TEST(WebLinksRibbon, SixLinksGivePanelsButtonsSubItemsUsefulLinksAndQuickAccess)
{
    const WebLinksLayout l = LayoutWebLinks(sixLinks());
    EXPECT_EQ(describe(l), "panel Research\n"
                           "  button 33219 Reports\n"
                           "  group 33269 Calls [33220 Morning Call] [33221 Evening Call]\n"
                           "panel Tools\n"
                           "  button 33222 Feedback\n"
                           "tab row\n"
                           "  group 33270 Useful Links [33223 Calculator] [33224 Holidays]\n"
                           "  button 33222 Feedback\n");
    EXPECT_EQ(l.quickAccess, (std::vector<int>{33219, 33220, 33221}));
    EXPECT_EQ(CDlgBarQuickAccess::ButtonRect(0), QRect(15, 15, 40, 40));
    EXPECT_EQ(CDlgBarQuickAccess::ButtonRect(1).top(), 60);
    EXPECT_EQ(CDlgBarQuickAccess::ButtonRect(2).top(), 105);

    // Two off-ribbon links and no feedback link: each its own tab button.
    std::vector<WebLinkRecord> fewer = sixLinks();
    std::strncpy(fewer[3].Pref, "00B ", sizeof fewer[3].Pref - 1);
    const WebLinksLayout f = LayoutWebLinks(fewer);
    ASSERT_EQ(f.tabRow.size(), 2u);
    EXPECT_FALSE(f.tabRow[0].group);
    EXPECT_EQ(f.tabRow[0].id, 33223);
    EXPECT_TRUE(LayoutWebLinks({}).quickAccess.empty());
}

// The quick-access buttons and the ribbon's large buttons show the link's
// 32 x 32 image by its icon index; a link whose index has no image keeps its
// label so its button is never blank.
TEST(WebLinksRibbon, QuickAccessButtonsShowTheLinksImages)
{
    LoadImageCollections();
    ASSERT_NE(GetImageCollection(kWebLinkImages), nullptr);
    std::vector<WebLinkRecord> links = sixLinks();
    links[0].IconIndex = 0;
    links[1].IconIndex = 3;
    links[2].IconIndex = 999;
    CDlgBarQuickAccess bar;
    bar.SetLinks({33219, 33220, 33221}, links);
    ASSERT_EQ(bar.Buttons().size(), 3u);
    for (int i = 0; i < 2; ++i) {
        const QToolButton* b = bar.Buttons()[size_t(i)];
        EXPECT_FALSE(b->icon().isNull()) << i;
        EXPECT_TRUE(b->text().isEmpty()) << i;
        EXPECT_EQ(b->icon().availableSizes().value(0), QSize(32, 32)) << i;
        EXPECT_EQ(b->toolTip(), QString::fromLatin1(links[size_t(i)].ToolTip)) << i;
    }
    EXPECT_TRUE(bar.Buttons()[2]->icon().isNull());
    EXPECT_EQ(bar.Buttons()[2]->text(), "Calls");
    // Different indices, different images.
    EXPECT_NE(WebLinkIcon(0).pixmap(32, 32).toImage(), WebLinkIcon(3).pixmap(32, 32).toImage());

    ui::Commands commands;
    ui::CommandBar ribbon(commands);
    ApplyWebLinksRibbon(ribbon, LayoutWebLinks(links));
    ASSERT_NE(ribbon.action(33219), nullptr);
    EXPECT_FALSE(ribbon.action(33219)->icon().isNull());
}

// The broker's tool tips show as the characters they are: a tag or a link in
// one is never markup the user could click.
TEST(WebLinksRibbon, ToolTipsShowTheBrokersTextAsText)
{
    const auto shown = [](const QString& tip) {
        if (!Qt::mightBeRichText(tip))
            return tip;
        QTextDocument d;
        d.setHtml(tip);
        return d.toPlainText();
    };
    std::vector<WebLinkRecord> links = sixLinks();
    const char* tip = "<a href='file:///bin/sh'>Calls</a> & <b>more</b>";
    std::strncpy(links[0].ToolTip, tip, sizeof links[0].ToolTip - 1);
    CDlgBarQuickAccess bar;
    bar.SetLinks({33219}, links);
    ASSERT_EQ(bar.Buttons().size(), 1u);
    EXPECT_EQ(shown(bar.Buttons()[0]->toolTip()).toStdString(), tip);
    const WebLinksLayout layout = LayoutWebLinks(links);
    bool found = false;
    for (const auto& panel : layout.panels)
        for (const auto& b : panel.buttons)
            if (b.label == QString::fromLatin1(links[0].ButtonLabel)) {
                found = true;
                EXPECT_EQ(shown(b.toolTip).toStdString(), tip);
            }
    EXPECT_TRUE(found);
}

class WebLinksTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        m_user = pv_user_info;
        m_session = g_Session;
        m_config = g_Config;
        m_links = g_WebLinkTable;
        ui::setBrowserFactory(
            [this](QWidget* parent, pf::Shell&) {
                auto view = std::make_unique<ui::RecordingBrowserView>(parent);
                stub = view.get();
                return view;
            });
        pv_user_info = UserInfoRecord{};
        std::strcpy(pv_user_info.user_id, "U1");
        pv_user_info.user_type = 'A';
        pv_user_info.client_index = 0;
        g_Session.clients.assign(1, ClientInfo{});
        std::strcpy(g_Session.clients[0].client_code, "ABC12");
        std::strcpy(g_Config.Redirect_Url, "http://broker.test");
        g_WebLinkTable.links = sixLinks();
    }
    void TearDown() override
    {
        ui::setBrowserFactory({});
        pv_user_info = m_user;
        g_Session = m_session;
        g_Config = m_config;
        g_WebLinkTable = m_links;
        Headless::TearDown();
    }

    CWebLinks::Hooks hooks()
    {
        return {[this] { return locked; }, [this](const std::string& m) { messages.push_back(m); }};
    }

    ui::RecordingBrowserView* stub = nullptr;
    bool locked = false;
    std::vector<std::string> messages;

private:
    UserInfoRecord m_user;
    SessionValues m_session;
    ConfigRecord m_config;
    WebLinkTable m_links;
};

// The security re-download closes the view with the other windows; the next
// "View WebLinks" then opens a new one.
TEST_F(WebLinksTest, CloseWindowClosesTheViewsDocument)
{
    ui::DocumentArea docs;
    QPointer<CWebLinks> view = new CWebLinks(shell, hooks());
    docs.addDocument(view, "WebLinks");
    ASSERT_EQ(CWebLinks::Instance(), view.data());
    view->Close_Window();
    EXPECT_EQ(CWebLinks::Instance(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(view.isNull());
    EXPECT_TRUE(docs.documents().empty());
}

TEST_F(WebLinksTest, FiftyOneLinksAreCappedAndNeverReachTheGroupIds)
{
    std::vector<WebLinkRecord> many;
    for (int i = 0; i < 51; ++i)
        many.push_back(link(("Link " + std::to_string(i)).c_str(), "Panel", ("L" + std::to_string(i)).c_str(), "00B "));
    const WebLinksLayout l = LayoutWebLinks(many);
    EXPECT_EQ(l.links, 50);
    EXPECT_EQ(l.dropped, 1);
    ui::Commands commands;
    ui::CommandBar bar(commands);
    ApplyWebLinksRibbon(bar, l);
    EXPECT_NE(bar.action(33268), nullptr);
    EXPECT_EQ(bar.action(33269), nullptr) << "the 51st link spilled into the group ids";
    // Group buttons stop before the error bar's id.
    std::vector<WebLinkRecord> groups;
    for (int i = 0; i < 35; ++i)
        groups.push_back(link("G", "Panel", ("G" + std::to_string(i)).c_str(), "00W "));
    const WebLinksLayout g = LayoutWebLinks(groups);
    EXPECT_EQ(g.panels[0].buttons.back().id, 33298);
    EXPECT_EQ(g.dropped, 5);
}

struct RequestCase {
    const char* name;
    char userType;
    const char* client;
    char mode;
    WebLinkRequestResult result;
    const char* text;
};

TEST_F(WebLinksTest, PageRequestChecksTheClientAndEncodesItsValues)
{
    const std::vector<RequestCase> cases = {
        {"dealer", 'A', " CL9 ", '2', WebLinkRequestResult::Ready, "LoginData=1002|U1|ABC12|7&ClientUserId=CL9"},
        {"client user", 'C', "", '0', WebLinkRequestResult::Ready, "LoginData=1002|U1|ABC12|7"},
        {"no client for a client page", 'A', "  ", '2', WebLinkRequestResult::NoClient, ""},
        {"blank inside", 'A', "CL 9", '2', WebLinkRequestResult::BadClient, ""},
        {"control character", 'D', "CL\x01", '0', WebLinkRequestResult::BadClient, ""},
        {"ampersand", 'P', "CL&x=1", '0', WebLinkRequestResult::BadClient, ""},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.name);
        WebLinkRequestInput in{c.userType, "U1", "ABC12", 7, c.client, c.mode, 0, "http://broker.test"};
        const WebLinkRequest r = BuildWebLinkRequest(in, {});
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.text, c.text);
        if (c.result == WebLinkRequestResult::Ready) {
            EXPECT_EQ(r.address, std::string("http://broker.test/qtrade/qlogin.exe?") + c.text);
        }
    }
    // A value with a reserved character cannot add a field or a parameter.
    WebLinkRequestInput odd{'C', "U1", "AB|C&D", 7, "", '0', 0, "http://broker.test"};
    EXPECT_EQ(BuildWebLinkRequest(odd, {}).text, "LoginData=1002|U1|AB%7CC%26D|7");
    // Encrypted: the whole text goes through the encoder, then into the address.
    WebLinkRequestInput enc{'C', "U1", "ABC12", 7, "", '0', 1, "http://broker.test"};
    const WebLinkRequest e = BuildWebLinkRequest(enc, [](const std::string&, std::string& out) {
        out = "QU+/=";
        return true;
    });
    EXPECT_EQ(e.address, "http://broker.test/qtrade/qlogin.exe?QU%2B%2F%3D");
    EXPECT_EQ(BuildWebLinkRequest(enc, {}).result, WebLinkRequestResult::NotEncoded);
}

TEST_F(WebLinksTest, ViewOpensTheLinkAndTheLockRefusesEveryNavigation)
{
    CWebLinks view(shell, hooks());
    ASSERT_NE(stub, nullptr);
    EXPECT_EQ(CWebLinks::Instance(), &view);
    EXPECT_EQ(view.Combo()->count(), 0);
    EXPECT_FALSE(view.Combo()->isEnabled());
    view.ShowSelectedLink(0); // "Research Reports", web id 11, open mode '0'
    ASSERT_EQ(stub->allowedUrls().size(), 1u);
    EXPECT_EQ(stub->allowedUrls()[0], QUrl("http://broker.test/qtrade/qlogin.exe?LoginData=1002|U1|ABC12|11&ClientUserId="));
    EXPECT_EQ(view.Title().toStdString(), "WebLinks - Research Reports for ");

    // Locked: back, forward, home, an in-page link and a reload are all refused.
    locked = true;
    const size_t before = stub->navigations().size();
    view.ShowSelectedLink(1);
    view.GoBack();
    view.GoHome();
    stub->clickLink(QUrl("#top"));
    stub->reload();
    for (size_t i = before; i < stub->navigations().size(); ++i)
        EXPECT_FALSE(stub->navigations()[i].allowed);
    EXPECT_EQ(stub->allowedUrls().size(), 1u);
    EXPECT_GE(messages.size(), 4u);
    for (const std::string& m : messages)
        EXPECT_EQ(m, "Terminal is Locked. Pls Unlock to Navigate");

    // A blank inside the client id: refused with the box, nothing opened.
    locked = false;
    messages.clear();
    view.ClientEdit()->setText("CL 9");
    view.ShowSelectedLink(0);
    EXPECT_EQ(messages, std::vector<std::string>{"Please enter Valid Client"});
    EXPECT_EQ(stub->allowedUrls().size(), 1u);
}

TEST_F(WebLinksTest, OutsideBrowserGetsOnlyWebAddresses)
{
    g_WebLinkTable.links[0].Pref[0] = '1'; // open mode: the desktop's browser
    CWebLinks view(shell, hooks());
    view.ShowSelectedLink(0);
    ASSERT_EQ(shell.calls().size(), 1u);
    EXPECT_EQ(shell.calls()[0].target.rfind("http://broker.test/qtrade/qlogin.exe?", 0), 0u);
    std::strcpy(g_Config.Redirect_Url, "file:///etc");
    view.ShowSelectedLink(0);
    EXPECT_EQ(shell.calls().size(), 1u) << "a server address that is not a web address is not opened";
}

// The server names the web base address; the built-in browser opens it (and
// the links under it) only when it is an http or https address.
TEST_F(WebLinksTest, BuiltInBrowserGetsOnlyWebAddresses)
{
    CWebLinks view(shell, hooks());
    ASSERT_NE(stub, nullptr);
    const char* bases[] = {"file:///etc", "javascript:alert(1)//", "ftp://broker.test"};
    for (const char* base : bases) {
        SCOPED_TRACE(base);
        std::strcpy(g_Config.Redirect_Url, base);
        view.ShowSelectedLink(0); // "Research Reports", open mode '0': the view's own browser
        view.GoHome();
        EXPECT_TRUE(stub->navigations().empty());
    }
    std::strcpy(g_Config.Redirect_Url, "https://broker.test");
    view.GoHome();
    ASSERT_EQ(stub->allowedUrls().size(), 1u);
    EXPECT_EQ(stub->allowedUrls()[0], QUrl("https://broker.test"));
}

} // namespace
