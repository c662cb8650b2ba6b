#include "frame/CBrowserCtrl.h"

#include "app/base/LogWriter.h"
#include "ui/document_area.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QResizeEvent>

void GuardBrowserWithLock(ui::BrowserView& browser, const BrowserLockHooks& hooks)
{
    browser.setBeforeNavigate([hooks](const QUrl&, ui::NavigationKind) {
        if (hooks.isLocked && hooks.isLocked()) {
            if (hooks.message)
                hooks.message("Terminal is Locked. Pls Unlock to Navigate");
            return false;
        }
        return true;
    });
}

CBrowserCtrl::CBrowserCtrl(const QString& title, pf::Shell& shell, const BrowserLockHooks& hooks, QWidget* parent)
    : QWidget(parent), m_title(title), m_browser(ui::makeBrowserView(this, shell))
{
    setWindowTitle(title);
    GuardBrowserWithLock(*m_browser, hooks);
}

CBrowserCtrl::~CBrowserCtrl() = default;

void CBrowserCtrl::resizeEvent(QResizeEvent* event)
{
    m_browser->widget()->setGeometry(rect());
    QWidget::resizeEvent(event);
}

void CBrowserCtrl::Open(const QUrl& url)
{
    if (!ui::isWebAddress(url)) {
        WriteLog(0, "Browser window: not a web address; not opened");
        return;
    }
    m_browser->navigate(url);
}

CBrowserCtrl* CBrowserCtrl::OpenBrowserCtrl(ui::DocumentArea& documents, pf::Shell& shell, const BrowserLockHooks& hooks,
                                            const QString& title, const QUrl& url)
{
    try {
        for (CBrowserCtrl* open : documents.findChildren<CBrowserCtrl*>()) {
            if (open->Title() == title) {
                documents.activateDocument(open);
                open->Open(url);
                return open;
            }
        }
        auto* view = new CBrowserCtrl(title, shell, hooks);
        documents.addDocument(view, title);
        view->Open(url);
        return view;
    } catch (...) {
        WriteLog(0, "Exception in CMainFrame::OpenBrowserCtrl");
        return nullptr;
    }
}
