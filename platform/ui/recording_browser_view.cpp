#include "ui/recording_browser_view.h"

#include <QWidget>

namespace ui {

RecordingBrowserView::RecordingBrowserView(QWidget* parent) : m_widget(new QWidget(parent)) {}

RecordingBrowserView::~RecordingBrowserView()
{
    if (m_widget && !m_widget->parent())
        delete m_widget;
}

QWidget* RecordingBrowserView::widget() { return m_widget; }

void RecordingBrowserView::go(const QUrl& url, NavigationKind kind)
{
    const bool allowed = allowNavigation(url, kind);
    m_navigations.push_back({url, kind, allowed});
    if (allowed)
        m_url = url;
}

void RecordingBrowserView::navigate(const QUrl& url)
{
    const bool allowed = allowNavigation(url, NavigationKind::Program);
    m_navigations.push_back({url, NavigationKind::Program, allowed});
    if (!allowed)
        return;
    if (m_current + 1 < int(m_history.size()))
        m_history.resize(size_t(m_current + 1));
    m_history.push_back(url);
    m_current = int(m_history.size()) - 1;
    m_url = url;
}

void RecordingBrowserView::showHtml(const QString& html) { m_html.push_back(html); }

void RecordingBrowserView::back()
{
    if (m_current <= 0)
        return;
    go(m_history[size_t(m_current - 1)], NavigationKind::Back);
    if (m_navigations.back().allowed)
        --m_current;
}

void RecordingBrowserView::forward()
{
    if (m_current + 1 >= int(m_history.size()))
        return;
    go(m_history[size_t(m_current + 1)], NavigationKind::Forward);
    if (m_navigations.back().allowed)
        ++m_current;
}

void RecordingBrowserView::reload()
{
    if (m_url.isValid())
        go(m_url, NavigationKind::Reload);
}

void RecordingBrowserView::clickLink(const QUrl& url) { go(m_url.resolved(url), NavigationKind::Link); }

void RecordingBrowserView::finishLoad(const QString& title, bool ok)
{
    m_title = title;
    emit titleChanged(title);
    emit loadFinished(ok);
}

std::vector<QUrl> RecordingBrowserView::allowedUrls() const
{
    std::vector<QUrl> out;
    for (const Navigation& n : m_navigations)
        if (n.allowed)
            out.push_back(n.url);
    return out;
}

} // namespace ui
