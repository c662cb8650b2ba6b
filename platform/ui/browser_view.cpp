#include "ui/browser_view.h"

#include "pf/log.h"
#include "ui/text_browser_view.h"

namespace ui {

namespace {

BrowserFactory& factorySlot()
{
    static BrowserFactory factory;
    return factory;
}

} // namespace

const char* navigationKindName(NavigationKind kind)
{
    switch (kind) {
    case NavigationKind::Program:
        return "program";
    case NavigationKind::Link:
        return "link";
    case NavigationKind::Back:
        return "back";
    case NavigationKind::Forward:
        return "forward";
    case NavigationKind::Reload:
        return "reload";
    }
    return "?";
}

bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

BrowserView::~BrowserView() = default;

bool BrowserView::allowNavigation(const QUrl& url, NavigationKind kind)
{
    if (!m_check || m_check(url, kind))
        return true;
    pf::logLine(2, std::string("Browser: ") + navigationKindName(kind) + " navigation refused");
    emit navigationRefused(url, kind);
    return false;
}

std::unique_ptr<BrowserView> makeBrowserView(QWidget* parent, pf::Shell& shell)
{
    if (factorySlot())
        if (std::unique_ptr<BrowserView> view = factorySlot()(parent, shell))
            return view;
    return std::make_unique<TextBrowserView>(parent, shell);
}

void setBrowserFactory(BrowserFactory factory) { factorySlot() = std::move(factory); }

} // namespace ui
