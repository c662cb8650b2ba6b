#include "ui/webengine_browser_view.h"

#include "pf/log.h"

#include <QCoreApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <unistd.h>

namespace ui {

namespace detail {

// Hands every main-frame navigation to the view's check.
class CheckedPage : public QWebEnginePage {
public:
    CheckedPage(WebEngineBrowserView* owner, QObject* parent) : QWebEnginePage(parent), m_owner(owner) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        return m_owner->check(url, int(type), isMainFrame);
    }

private:
    WebEngineBrowserView* m_owner;
};

} // namespace detail

WebEngineBrowserView::WebEngineBrowserView(QWidget* parent) : m_view(new QWebEngineView(parent))
{
    m_page = new detail::CheckedPage(this, m_view);
    m_view->setPage(m_page);
    connect(m_page, &QWebEnginePage::titleChanged, this, &BrowserView::titleChanged);
    connect(m_page, &QWebEnginePage::loadFinished, this, &BrowserView::loadFinished);
}

WebEngineBrowserView::~WebEngineBrowserView()
{
    if (m_view && !m_view->parent())
        delete m_view;
}

QWidget* WebEngineBrowserView::widget() { return m_view; }

bool WebEngineBrowserView::check(const QUrl& url, int engineType, bool mainFrame)
{
    if (!mainFrame)
        return true; // frames inside an allowed page belong to it
    if (m_passLocal) {
        m_passLocal = false;
        return true;
    }
    NavigationKind kind = NavigationKind::Link;
    switch (QWebEnginePage::NavigationType(engineType)) {
    case QWebEnginePage::NavigationTypeTyped:
        kind = NavigationKind::Program;
        break;
    case QWebEnginePage::NavigationTypeBackForward:
        kind = m_nextHistoryKind;
        break;
    case QWebEnginePage::NavigationTypeReload:
        kind = NavigationKind::Reload;
        break;
    default:
        kind = NavigationKind::Link;
        break;
    }
    m_nextHistoryKind = NavigationKind::Back;
    if (kind == NavigationKind::Program && !isWebAddress(url) && url.scheme() != QLatin1String("file")) {
        pf::logLine(1, "Browser: an address that is not a web address was not loaded");
        return false;
    }
    return allowNavigation(url, kind);
}

void WebEngineBrowserView::navigate(const QUrl& url) { m_view->load(url); }

void WebEngineBrowserView::showHtml(const QString& html)
{
    m_passLocal = true;
    m_view->setHtml(html);
}

void WebEngineBrowserView::back()
{
    m_nextHistoryKind = NavigationKind::Back;
    m_view->back();
}

void WebEngineBrowserView::forward()
{
    m_nextHistoryKind = NavigationKind::Forward;
    m_view->forward();
}

void WebEngineBrowserView::reload() { m_view->reload(); }

QString WebEngineBrowserView::title() const { return m_page->title(); }

QUrl WebEngineBrowserView::url() const { return m_page->url(); }

void WebEngineBrowserView::prepareProcess()
{
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The engine keeps a second start-up process waiting for unsandboxed
    // helpers; the program starts none (the network runs in the program
    // itself), and the idle one held some 14 MiB for the whole run. Were
    // such a helper ever needed, the engine starts it directly instead.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    auto add = [&flags](const char* flag) {
        flags += flags.isEmpty() ? "" : " ";
        flags += flag;
    };
    if (!flags.contains("unsandboxed-zygote"))
        add("--no-unsandboxed-zygote");
    // Without the sandbox the engine needs no start-up process to fork the
    // pages' processes from: each page's process is started directly and is
    // the only helper, so none is left once the last page is closed. (With
    // the sandbox, the start-up process is what sandboxes them, and stays.)
    const bool unsandboxed = qEnvironmentVariableIntValue("QTWEBENGINE_DISABLE_SANDBOX") != 0 ||
                             flags.contains("--no-sandbox");
    if (unsandboxed && !flags.contains("--no-zygote"))
        add("--no-zygote");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Pages draw in software into the window's own raster backing store. A
    // GL-drawn page switches its whole top-level window to GL composition
    // for the rest of the run; without a GPU that is software GL, which
    // loaded about 110 MiB and multiplied the cost of every repaint of the
    // main window (quotes, grids) even after the page had closed. The user
    // may still choose another GL integration through the environment.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

std::unique_ptr<BrowserView> WebEngineBrowserView::make(QWidget* parent, pf::Shell&)
{
    return std::make_unique<WebEngineBrowserView>(parent);
}

} // namespace ui
