#pragma once
// The feedback page of a place-'F' web link, in a modal dialog: a local
// "please wait" page until the broker's page loads. UI thread.
#include "frame/CBrowserCtrl.h"

#include <QDialog>

class CDlgZezuraFeedback : public QDialog {
    Q_OBJECT
public:
    CDlgZezuraFeedback(int linkIndex, const QUrl& address, pf::Shell& shell, const BrowserLockHooks& hooks,
                       QWidget* parent = nullptr);
    ~CDlgZezuraFeedback() override;

    // The placeholder page shown first.
    static QString PlaceholderHtml();
    ui::BrowserView& Browser() { return *m_browser; }

private:
    std::unique_ptr<ui::BrowserView> m_browser;
};
