#pragma once
// The embedded browser of the web-link, browser and feedback windows: an
// interface of our own over the page engine, so that windows run with the
// real engine and are tested with a recording stub. Every navigation, asked
// by the program, by a link in the page, by back, forward or reload, is first
// offered to the before-navigate check, which may refuse it (the terminal
// lock refuses them all). UI thread only.
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QWidget;

namespace pf {
class Shell;
}

namespace ui {

enum class NavigationKind { Program, Link, Back, Forward, Reload };

const char* navigationKindName(NavigationKind kind);

// Only web addresses (http and https) are opened by the desktop or loaded
// from the network; anything else a server sends is refused.
bool isWebAddress(const QUrl& url);

class BrowserView : public QObject {
    Q_OBJECT
public:
    // False refuses the navigation.
    using BeforeNavigate = std::function<bool(const QUrl& url, NavigationKind kind)>;

    ~BrowserView() override;

    virtual QWidget* widget() = 0;
    virtual void navigate(const QUrl& url) = 0;
    // A local page (a placeholder while the real one loads); not a navigation.
    virtual void showHtml(const QString& html) = 0;
    virtual void back() = 0;
    virtual void forward() = 0;
    virtual void reload() = 0;
    virtual QString title() const = 0;
    virtual QUrl url() const = 0;

    void setBeforeNavigate(BeforeNavigate check) { m_check = std::move(check); }

signals:
    void titleChanged(const QString& title);
    void loadFinished(bool ok);
    void navigationRefused(const QUrl& url, ui::NavigationKind kind);

protected:
    // Asks the check; a refusal is signalled and logged.
    bool allowNavigation(const QUrl& url, NavigationKind kind);

private:
    BeforeNavigate m_check;
};

// Makes the browser a window shows: the installed factory's (the program
// installs the page engine's at start-up, tests a recording stub), else the
// text browser. The shell opens what the text browser's links point to.
using BrowserFactory = std::function<std::unique_ptr<BrowserView>(QWidget* parent, pf::Shell& shell)>;
std::unique_ptr<BrowserView> makeBrowserView(QWidget* parent, pf::Shell& shell);
void setBrowserFactory(BrowserFactory factory); // empty restores the text browser

} // namespace ui
