#include "ui/text_browser_view.h"

#include "pf/log.h"
#include "pf/shell.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTextBrowser>

namespace ui {

namespace {

constexpr qint64 kMaxPageBytes = 8 * 1024 * 1024; // a page past this is cut, not read whole
constexpr int kTimeoutMs = 30000;

QString escaped(const QString& text) { return text.toHtmlEscaped(); }

} // namespace

TextBrowserView::TextBrowserView(QWidget* parent, pf::Shell& shell)
    : m_browser(new QTextBrowser(parent)), m_network(new QNetworkAccessManager(this)), m_shell(shell)
{
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &TextBrowserView::followLink);
}

TextBrowserView::~TextBrowserView()
{
    if (m_reply)
        m_reply->abort();
    // The widget belongs to its parent window; one without a parent is ours.
    if (m_browser && !m_browser->parent())
        delete m_browser;
}

QWidget* TextBrowserView::widget() { return m_browser; }

void TextBrowserView::navigate(const QUrl& url)
{
    if (!allowNavigation(url, NavigationKind::Program))
        return;
    if (m_current + 1 < int(m_history.size()))
        m_history.resize(size_t(m_current + 1));
    m_history.push_back(url);
    m_current = int(m_history.size()) - 1;
    load(url);
}

void TextBrowserView::showHtml(const QString& html)
{
    if (m_reply)
        m_reply->abort();
    m_browser->setHtml(html);
    m_title = m_browser->documentTitle();
    emit titleChanged(m_title);
}

void TextBrowserView::back()
{
    if (m_current <= 0 || !allowNavigation(m_history[size_t(m_current - 1)], NavigationKind::Back))
        return;
    --m_current;
    load(m_history[size_t(m_current)]);
}

void TextBrowserView::forward()
{
    if (m_current + 1 >= int(m_history.size()) ||
        !allowNavigation(m_history[size_t(m_current + 1)], NavigationKind::Forward))
        return;
    ++m_current;
    load(m_history[size_t(m_current)]);
}

void TextBrowserView::reload()
{
    if (m_url.isValid() && allowNavigation(m_url, NavigationKind::Reload))
        load(m_url);
}

void TextBrowserView::followLink(const QUrl& link)
{
    const QUrl target = m_url.resolved(link);
    if (!allowNavigation(target, NavigationKind::Link))
        return;
    if (link.toString().startsWith(QLatin1Char('#')) || target.adjusted(QUrl::RemoveFragment) == m_url.adjusted(QUrl::RemoveFragment)) {
        if (target.hasFragment())
            m_browser->scrollToAnchor(target.fragment());
        return;
    }
    if (!isWebAddress(target)) {
        pf::logLine(1, "Browser: a link that is not a web address was not opened");
        return;
    }
    m_shell.openUrl(target.toString(QUrl::FullyEncoded).toStdString(), pf::ShowMode::Normal);
}

QString TextBrowserView::pageText() const { return m_browser->toPlainText(); }

void TextBrowserView::load(const QUrl& url)
{
    if (m_reply)
        m_reply->abort();
    m_url = url;
    if (url.isLocalFile()) {
        QFile file(url.toLocalFile());
        if (!file.open(QIODevice::ReadOnly)) {
            setPage(QStringLiteral("<p>The page could not be opened.</p>"), false);
            return;
        }
        setPage(QString::fromUtf8(file.read(kMaxPageBytes)), true);
        return;
    }
    if (!isWebAddress(url)) {
        pf::logLine(1, "Browser: an address that is not a web address was not loaded");
        setPage(QStringLiteral("<p>This address cannot be opened.</p>"), false);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(kTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply); });
}

void TextBrowserView::finish(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply != m_reply)
        return; // a page replaced by a newer navigation
    m_reply = nullptr;
    if (reply->error() != QNetworkReply::NoError) {
        if (reply->error() != QNetworkReply::OperationCanceledError)
            setPage(QStringLiteral("<p>The page could not be opened: %1</p>").arg(escaped(reply->errorString())), false);
        return;
    }
    setPage(QString::fromUtf8(reply->read(kMaxPageBytes)), true);
}

void TextBrowserView::setPage(const QString& html, bool ok)
{
    m_browser->setHtml(html);
    m_title = ok ? m_browser->documentTitle() : QString();
    emit titleChanged(m_title);
    emit loadFinished(ok);
}

} // namespace ui
