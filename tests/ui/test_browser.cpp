// The browser interface without the page engine: the text browser on local
// pages (title, history, links through the shell for web addresses only, an
// anchor scrolls) and the recording stub, both with the before-navigate check
// refusing every kind of navigation while it says no.
#include "testkit/headless.h"

#include "ui/browser_view.h"
#include "ui/recording_browser_view.h"
#include "ui/text_browser_view.h"

#include <QApplication>
#include <QUrl>

#include <fstream>
#include <string>
#include <vector>

namespace {

class BrowserTest : public testkit::Headless {
protected:
    QUrl writePage(const std::string& name, const std::string& title, const std::string& body)
    {
        const std::filesystem::path file = root / name;
        std::ofstream(file) << "<html><head><title>" << title << "</title></head><body>" << body << "</body></html>";
        return QUrl::fromLocalFile(QString::fromStdString(file.string()));
    }

    std::vector<std::string> openedUrls() const
    {
        std::vector<std::string> out;
        for (const pf::RecordingShell::Call& c : shell.calls())
            if (c.kind == pf::RecordingShell::Kind::Url)
                out.push_back(c.target);
        return out;
    }
};

TEST_F(BrowserTest, TextBrowserShowsLocalPagesAndHandsOnlyWebLinksToTheShell)
{
    const QUrl first = writePage("first.html", "First page",
                                 "<p>one</p><a href='https://broker.test/a?x=1'>web</a>"
                                 "<a href='javascript:alert(1)'>script</a><a href='file:///etc/passwd'>file</a>"
                                 "<a href='#end'>down</a><p><a name='end'>end</a></p>");
    const QUrl second = writePage("second.html", "Second page", "<p>two</p>");
    ui::TextBrowserView view(nullptr, shell);
    std::vector<std::pair<ui::NavigationKind, bool>> asked;
    bool locked = false;
    view.setBeforeNavigate([&](const QUrl&, ui::NavigationKind kind) {
        asked.emplace_back(kind, !locked);
        return !locked;
    });
    view.navigate(first);
    EXPECT_EQ(view.title(), "First page");
    view.navigate(second);
    EXPECT_EQ(view.title(), "Second page");
    view.back();
    EXPECT_EQ(view.url(), first);
    EXPECT_TRUE(view.pageText().contains("one"));
    view.forward();
    EXPECT_EQ(view.url(), second);
    view.back();

    view.followLink(QUrl("https://broker.test/a?x=1"));
    view.followLink(QUrl("javascript:alert(1)"));
    view.followLink(QUrl("file:///etc/passwd"));
    view.followLink(QUrl("#end"));
    EXPECT_EQ(openedUrls(), std::vector<std::string>{"https://broker.test/a?x=1"});
    EXPECT_EQ(view.url(), first) << "links do not navigate inside the text browser";

    // Locked: every kind is refused, and nothing reaches the shell.
    locked = true;
    shell.clear();
    int refusals = 0;
    QObject::connect(&view, &ui::BrowserView::navigationRefused, [&] { ++refusals; });
    view.navigate(second);
    view.forward();
    view.reload();
    view.followLink(QUrl("#end"));
    view.followLink(QUrl("https://broker.test/a?x=1"));
    EXPECT_EQ(refusals, 5);
    EXPECT_TRUE(openedUrls().empty());
    EXPECT_EQ(view.url(), first);
    EXPECT_EQ(view.title(), "First page");

    // A local placeholder page is not a navigation.
    locked = false;
    const size_t before = asked.size();
    view.showHtml("<html><head><title>Please wait</title></head><body>Please wait</body></html>");
    EXPECT_EQ(view.title(), "Please wait");
    EXPECT_EQ(asked.size(), before);
}

TEST_F(BrowserTest, TextBrowserRefusesToLoadAnAddressThatIsNotAWebAddress)
{
    ui::TextBrowserView view(nullptr, shell);
    bool ok = true;
    QObject::connect(&view, &ui::BrowserView::loadFinished, [&](bool r) { ok = r; });
    view.navigate(QUrl("ftp://broker.test/file"));
    EXPECT_FALSE(ok);
    EXPECT_TRUE(view.title().isEmpty());
    EXPECT_TRUE(ui::isWebAddress(QUrl("HTTPS://broker.test/")));
    EXPECT_FALSE(ui::isWebAddress(QUrl("http:///nohost")));
    EXPECT_FALSE(ui::isWebAddress(QUrl("mailto:a@b.c")));
}

TEST_F(BrowserTest, RecordingStubRecordsEachKindAndTheFactoryHandsItOut)
{
    ui::setBrowserFactory([](QWidget* parent, pf::Shell&) { return std::make_unique<ui::RecordingBrowserView>(parent); });
    std::unique_ptr<ui::BrowserView> made = ui::makeBrowserView(nullptr, shell);
    ui::setBrowserFactory({});
    auto* stub = dynamic_cast<ui::RecordingBrowserView*>(made.get());
    ASSERT_NE(stub, nullptr);
    EXPECT_NE(dynamic_cast<ui::TextBrowserView*>(ui::makeBrowserView(nullptr, shell).get()), nullptr)
        << "no factory: the text browser";

    bool locked = false;
    stub->setBeforeNavigate([&](const QUrl&, ui::NavigationKind) { return !locked; });
    stub->navigate(QUrl("http://broker.test/one"));
    stub->navigate(QUrl("http://broker.test/two"));
    locked = true;
    stub->back();
    stub->navigate(QUrl("http://broker.test/")); // home
    stub->clickLink(QUrl("#top"));
    locked = false;
    stub->back();
    stub->forward();
    using K = ui::NavigationKind;
    std::vector<std::tuple<std::string, K, bool>> got;
    for (const auto& n : stub->navigations())
        got.emplace_back(n.url.toString().toStdString(), n.kind, n.allowed);
    const std::vector<std::tuple<std::string, K, bool>> expected = {
        {"http://broker.test/one", K::Program, true}, {"http://broker.test/two", K::Program, true},
        {"http://broker.test/one", K::Back, false},   {"http://broker.test/", K::Program, false},
        {"http://broker.test/two#top", K::Link, false}, {"http://broker.test/one", K::Back, true},
        {"http://broker.test/two", K::Forward, true},
    };
    EXPECT_EQ(got, expected);
}

} // namespace
