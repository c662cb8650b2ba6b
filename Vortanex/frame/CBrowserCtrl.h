#pragma once
// A browser window among the documents: one per title, a second request for
// the same title loads the new address in it and brings it forward. While the
// terminal is locked it refuses every navigation with a box. UI thread.
#include "ui/browser_view.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace pf {
class Shell;
}
namespace ui {
class DocumentArea;
}

struct BrowserLockHooks {
    std::function<bool()> isLocked;
    std::function<void(const std::string&)> message; // an information box
};

// Installs the lock's refusal on a browser.
void GuardBrowserWithLock(ui::BrowserView& browser, const BrowserLockHooks& hooks);

class CBrowserCtrl : public QWidget {
    Q_OBJECT
public:
    CBrowserCtrl(const QString& title, pf::Shell& shell, const BrowserLockHooks& hooks, QWidget* parent = nullptr);
    ~CBrowserCtrl() override;

    QString Title() const { return m_title; }
    void Open(const QUrl& url);
    ui::BrowserView& Browser() { return *m_browser; }

    // The frame's opener: the window of that title (new when there is none)
    // shows the address. Only web addresses are loaded.
    static CBrowserCtrl* OpenBrowserCtrl(ui::DocumentArea& documents, pf::Shell& shell, const BrowserLockHooks& hooks,
                                         const QString& title, const QUrl& url);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_title;
    std::unique_ptr<ui::BrowserView> m_browser;
};
