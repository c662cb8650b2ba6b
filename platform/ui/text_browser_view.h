#pragma once
// The browser without the page engine: server pages fetched without
// blocking and shown as rich text, local pages as they are. Its links do not
// navigate inside it: a web address a link points to is handed to the
// desktop's browser through the shell (after the before-navigate check), an
// anchor in the page scrolls. UI thread only.
#include "ui/browser_view.h"

#include <QPointer>

#include <vector>

class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;

namespace ui {

class TextBrowserView final : public BrowserView {
    Q_OBJECT
public:
    TextBrowserView(QWidget* parent, pf::Shell& shell);
    ~TextBrowserView() override;

    QWidget* widget() override;
    void navigate(const QUrl& url) override;
    void showHtml(const QString& html) override;
    void back() override;
    void forward() override;
    void reload() override;
    QString title() const override { return m_title; }
    QUrl url() const override { return m_url; }

    // What a click on a link of the page does (the widget calls it too).
    void followLink(const QUrl& link);
    QString pageText() const;

private:
    void load(const QUrl& url);
    void finish(QNetworkReply* reply);
    void setPage(const QString& html, bool ok);

    QTextBrowser* m_browser;
    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_reply;
    pf::Shell& m_shell;
    std::vector<QUrl> m_history;
    int m_current = -1;
    QUrl m_url;
    QString m_title;
};

} // namespace ui
