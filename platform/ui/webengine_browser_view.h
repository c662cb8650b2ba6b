#pragma once
// The browser a user gets: the page engine in a widget. Every navigation the
// page asks for (the program's, a link, back, forward, reload, a redirect of
// the main frame) goes through the before-navigate check first. Built only
// where the engine is installed; the program installs it as the browser
// factory at start-up. UI thread only.
#include "ui/browser_view.h"

class QWebEngineView;

namespace ui {

namespace detail {
class CheckedPage;
}

class WebEngineBrowserView final : public BrowserView {
    Q_OBJECT
public:
    explicit WebEngineBrowserView(QWidget* parent);
    ~WebEngineBrowserView() override;

    QWidget* widget() override;
    void navigate(const QUrl& url) override;
    void showHtml(const QString& html) override;
    void back() override;
    void forward() override;
    void reload() override;
    QString title() const override;
    QUrl url() const override;

    // Before the application object exists: the engine's sandbox cannot run
    // as root, so it is switched off then (and only then); contexts are shared
    // as the engine needs.
    static void prepareProcess();
    // The factory to install with setBrowserFactory.
    static std::unique_ptr<BrowserView> make(QWidget* parent, pf::Shell& shell);

private:
    friend class detail::CheckedPage;
    bool check(const QUrl& url, int engineType, bool mainFrame);

    QWebEngineView* m_view;
    detail::CheckedPage* m_page;
    NavigationKind m_nextHistoryKind = NavigationKind::Back;
    bool m_passLocal = false; // the next load is a local page of the program's own
};

} // namespace ui
