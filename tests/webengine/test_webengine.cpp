// The page engine's browser as users get it: a test-broker page loads in it
// offscreen with its title, and the before-navigate check refuses the
// program's navigation and a link clicked in the page alike.
#include "ui/webengine_browser_view.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

bool pumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

class WebEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_broker.setProgram(QStringLiteral(VX_TESTBROKER_PROGRAM));
        m_broker.setProcessChannelMode(QProcess::SeparateChannels);
        m_broker.start();
        ASSERT_TRUE(m_broker.waitForStarted(10000));
        QString out;
        const QRegularExpression http(QStringLiteral("http 127\\.0\\.0\\.1:(\\d+)"));
        ASSERT_TRUE(pumpUntil(
            [&] {
                m_broker.waitForReadyRead(50);
                out += QString::fromUtf8(m_broker.readAllStandardOutput());
                const QRegularExpressionMatch m = http.match(out);
                if (m.hasMatch())
                    m_port = m.captured(1).toInt();
                return m_port > 0;
            },
            30000))
            << out.toStdString();
    }
    void TearDown() override
    {
        m_broker.terminate();
        if (!m_broker.waitForFinished(10000))
            m_broker.kill();
    }

    QUrl page(const QString& pathAndQuery) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(pathAndQuery));
    }

    QProcess m_broker;
    int m_port = 0;
};

struct Seen {
    QUrl url;
    ui::NavigationKind kind;
};

TEST_F(WebEngineTest, LoadsABrokerPageWithItsTitleAndRefusesVetoedNavigations)
{
    ui::WebEngineBrowserView view(nullptr);
    view.widget()->resize(800, 600);
    view.widget()->show();
    std::vector<Seen> seen;
    bool locked = false;
    view.setBeforeNavigate([&](const QUrl& url, ui::NavigationKind kind) {
        seen.push_back({url, kind});
        return !locked;
    });
    int finished = 0;
    bool lastOk = false;
    QObject::connect(&view, &ui::BrowserView::loadFinished, [&](bool ok) {
        ++finished;
        lastOk = ok;
    });
    std::vector<ui::NavigationKind> refused;
    QObject::connect(&view, &ui::BrowserView::navigationRefused,
                     [&](const QUrl&, ui::NavigationKind kind) { refused.push_back(kind); });

    view.navigate(page(QStringLiteral("/qtrade/qlogin.exe?LoginData=1002|U1|ABC12|7")));
    ASSERT_TRUE(pumpUntil([&] { return finished > 0 && view.title() == QLatin1String("Vortanex link 7"); }, 90000))
        << "title: " << view.title().toStdString();
    EXPECT_TRUE(lastOk);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().kind, ui::NavigationKind::Program);

    // Locked: the program's navigation is refused and the page stays.
    locked = true;
    const QUrl shown = view.url();
    view.navigate(page(QStringLiteral("/qtrade/weblink2.html")));
    ASSERT_TRUE(pumpUntil([&] { return !refused.empty(); }, 30000));
    EXPECT_EQ(refused.back(), ui::NavigationKind::Program);
    // And so is a link clicked in the page.
    auto* engine = static_cast<QWebEngineView*>(view.widget());
    engine->page()->runJavaScript(QStringLiteral("document.getElementById('next').click();"));
    ASSERT_TRUE(pumpUntil([&] { return refused.size() >= 2; }, 30000));
    EXPECT_EQ(refused.back(), ui::NavigationKind::Link);
    QApplication::processEvents();
    EXPECT_EQ(view.url(), shown);
    EXPECT_EQ(view.title(), QLatin1String("Vortanex link 7"));

    // Unlocked, the same link goes to the second page.
    locked = false;
    engine->page()->runJavaScript(QStringLiteral("document.getElementById('next').click();"));
    ASSERT_TRUE(pumpUntil([&] { return view.title() == QLatin1String("Vortanex second page"); }, 30000));
    EXPECT_EQ(seen.back().kind, ui::NavigationKind::Link);
}

// A page inside a window (as the program's browser windows sit in the main
// window) keeps that window on raster composition: a GL-composed window
// costs software GL on every repaint of everything else in it.
TEST_F(WebEngineTest, APageInsideAWindowKeepsTheWindowOnRasterComposition)
{
    QWidget window;
    window.resize(800, 600);
    ui::WebEngineBrowserView view(&window);
    view.widget()->setGeometry(0, 100, 800, 500);
    window.show();
    ASSERT_NE(window.windowHandle(), nullptr);
    view.navigate(page(QStringLiteral("/qtrade/qlogin.exe?LoginData=1002|U1|ABC12|7")));
    ASSERT_TRUE(pumpUntil([&] { return view.title() == QLatin1String("Vortanex link 7"); }, 90000));
    QApplication::processEvents();
    EXPECT_EQ(window.windowHandle()->surfaceType(), QSurface::RasterSurface);
}

// The engine's helper processes started by this one, each by its kind
// ("zygote", "renderer", ...); a process that has ended and awaits its
// parent's wait has no command line and is not counted.
std::vector<QString> engineHelpers()
{
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QRegularExpression type(QStringLiteral("--type=([a-z-]+)"));
    std::vector<QString> kinds;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly) ||
            !QString::fromUtf8(status.readAll()).contains(QStringLiteral("\nPPid:\t%1\n").arg(self)))
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QRegularExpressionMatch m = type.match(QString::fromUtf8(cmdline.readAll().replace('\0', ' ')));
        if (m.hasMatch())
            kinds.push_back(m.captured(1));
    }
    return kinds;
}

// The engine's helpers as the program starts them. With the sandbox: one
// start-up process (the pages' processes' parent, which sandboxes them) and
// no idle second one for unsandboxed helpers, which held some 14 MiB for the
// whole run. Without the sandbox: no start-up process at all, the page's own
// process is the only helper, and none is left once the page is closed.
TEST_F(WebEngineTest, TheEngineKeepsOnlyTheHelpersItsPagesNeed)
{
    const bool unsandboxed = qEnvironmentVariableIntValue("QTWEBENGINE_DISABLE_SANDBOX") != 0;
    {
        ui::WebEngineBrowserView view(nullptr);
        view.widget()->resize(400, 300);
        view.widget()->show();
        view.navigate(page(QStringLiteral("/qtrade/qlogin.exe?LoginData=1002|U1|ABC12|7")));
        ASSERT_TRUE(pumpUntil([&] { return view.title() == QLatin1String("Vortanex link 7"); }, 90000));
        const std::vector<QString> kinds = engineHelpers();
        const auto startUp = std::count(kinds.begin(), kinds.end(), QStringLiteral("zygote"));
        if (unsandboxed) {
            EXPECT_EQ(startUp, 0);
            EXPECT_EQ(std::count(kinds.begin(), kinds.end(), QStringLiteral("renderer")), 1);
        } else {
            EXPECT_EQ(startUp, 1);
        }
    }
    if (unsandboxed)
        EXPECT_TRUE(pumpUntil([] { return engineHelpers().empty(); }, 30000))
            << "helpers left after the page closed: " << engineHelpers().size();
}

} // namespace

int main(int argc, char** argv)
{
    ui::WebEngineBrowserView::prepareProcess();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
