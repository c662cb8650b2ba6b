#pragma once
// The browser stub of window tests: it shows nothing and loads nothing; it
// records every navigation with its kind and whether the before-navigate
// check let it through, and lets a test act as the page (a link clicked, a
// page finished with its title). UI thread only.
#include "ui/browser_view.h"

#include <vector>

namespace ui {

class RecordingBrowserView final : public BrowserView {
    Q_OBJECT
public:
    struct Navigation {
        QUrl url;
        NavigationKind kind;
        bool allowed;
    };

    explicit RecordingBrowserView(QWidget* parent = nullptr);
    ~RecordingBrowserView() override;

    QWidget* widget() override;
    void navigate(const QUrl& url) override;
    void showHtml(const QString& html) override;
    void back() override;
    void forward() override;
    void reload() override;
    QString title() const override { return m_title; }
    QUrl url() const override { return m_url; }

    // As the page would: a link of the page clicked; the page finished.
    void clickLink(const QUrl& url);
    void finishLoad(const QString& title, bool ok = true);

    const std::vector<Navigation>& navigations() const { return m_navigations; }
    std::vector<QUrl> allowedUrls() const;
    const std::vector<QString>& htmlShown() const { return m_html; }

private:
    void go(const QUrl& url, NavigationKind kind);

    QWidget* m_widget;
    std::vector<Navigation> m_navigations;
    std::vector<QString> m_html;
    std::vector<QUrl> m_history;
    int m_current = -1;
    QUrl m_url;
    QString m_title;
};

} // namespace ui
