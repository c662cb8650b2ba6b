#include "ui/document_area.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSplitter>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace ui {

// A document's window: tells the area when its close went through, so the
// program's document can finish the view's close handling.
class DocumentWindow : public QMdiSubWindow {
public:
    explicit DocumentWindow(DocumentArea* owner) : m_owner(owner) {}

protected:
    void closeEvent(QCloseEvent* event) override
    {
        QMdiSubWindow::closeEvent(event);
        if (event->isAccepted() && m_owner && widget())
            m_owner->documentClosing(widget());
    }

private:
    QPointer<DocumentArea> m_owner;
};

DocumentArea::DocumentArea(QWidget* parent) : QWidget(parent), m_split(new QSplitter(this))
{
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(m_split);
    m_lastActive = makeArea();
}

DocumentArea::~DocumentArea()
{
    // The frame's exit: the views still open are told before they go.
    for (QWidget* view : documents())
        documentClosing(view);
}

void DocumentArea::documentClosing(QWidget* view)
{
    // A view gone since is null here, so a new view at its address is new.
    m_closedViews.erase(std::remove(m_closedViews.begin(), m_closedViews.end(), nullptr), m_closedViews.end());
    if (std::find(m_closedViews.begin(), m_closedViews.end(), view) != m_closedViews.end())
        return;
    m_closedViews.emplace_back(view);
    if (onDocumentClosing)
        onDocumentClosing(view);
}

QMdiArea* DocumentArea::makeArea()
{
    auto* area = new QMdiArea(m_split);
    area->setViewMode(QMdiArea::TabbedView);
    area->setTabsClosable(true);
    area->setTabsMovable(true);
    area->setDocumentMode(true);
    area->setTabPosition(m_groupsOn ? QTabWidget::North : QTabWidget::South);
    if (auto* bar = area->findChild<QTabBar*>()) {
        bar->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(bar, &QWidget::customContextMenuRequested, this, [this, bar](const QPoint& p) {
            if (onTabContextMenu)
                onTabContextMenu(bar->mapToGlobal(p));
        });
    }
    connect(area, &QMdiArea::subWindowActivated, this, [this, area](QMdiSubWindow* sub) {
        if (sub)
            m_lastActive = area;
        if (onActivated && (sub || area == m_lastActive))
            onActivated(sub ? sub->widget() : nullptr);
        // A group emptied by a close goes once the close has finished.
        QTimer::singleShot(0, this, [this] { dropEmptyAreas(); });
    });
    m_split->addWidget(area);
    m_areas.push_back(area);
    return area;
}

QMdiArea* DocumentArea::activeArea() const
{
    if (std::find(m_areas.begin(), m_areas.end(), m_lastActive) != m_areas.end())
        return m_lastActive;
    return m_areas.front();
}

QMdiSubWindow* DocumentArea::activeSub() const
{
    QMdiArea* area = activeArea();
    QMdiSubWindow* sub = area->currentSubWindow();
    if (!sub && !area->subWindowList().isEmpty())
        sub = area->subWindowList().back();
    return sub;
}

void DocumentArea::setTabGroupsEnabled(bool on)
{
    m_groupsOn = on;
    if (!on) {
        while (m_areas.size() > 1) {
            m_lastActive = m_areas.back();
            const auto subs = m_lastActive->subWindowList();
            if (subs.isEmpty()) {
                dropEmptyAreas();
                continue;
            }
            m_lastActive->setActiveSubWindow(subs.front());
            moveActiveTo(0);
        }
    }
    for (QMdiArea* a : m_areas)
        a->setTabPosition(on ? QTabWidget::North : QTabWidget::South);
}

QMdiSubWindow* DocumentArea::addDocument(QWidget* view, const QString& title, const QIcon& icon)
{
    QMdiArea* area = activeArea();
    auto* sub = new DocumentWindow(this);
    sub->setWidget(view);
    area->addSubWindow(sub);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(title);
    view->setWindowTitle(title);
    if (!icon.isNull())
        sub->setWindowIcon(icon);
    sub->showMaximized();
    area->setActiveSubWindow(sub);
    m_lastActive = area;
    return sub;
}

std::vector<QWidget*> DocumentArea::documents() const
{
    std::vector<QWidget*> out;
    for (QMdiArea* a : m_areas)
        for (QMdiSubWindow* s : a->subWindowList())
            if (s->widget())
                out.push_back(s->widget());
    return out;
}

QWidget* DocumentArea::activeDocument() const
{
    QMdiSubWindow* sub = activeSub();
    return sub ? sub->widget() : nullptr;
}

bool DocumentArea::activateDocument(QWidget* view)
{
    for (QMdiArea* a : m_areas)
        for (QMdiSubWindow* s : a->subWindowList())
            if (s->widget() == view) {
                a->setActiveSubWindow(s);
                m_lastActive = a;
                return true;
            }
    return false;
}

bool DocumentArea::closeActive()
{
    QMdiSubWindow* sub = activeSub();
    if (!sub)
        return false;
    return sub->close();
}

int DocumentArea::groupOf(QWidget* view) const
{
    for (size_t i = 0; i < m_areas.size(); ++i)
        for (QMdiSubWindow* s : m_areas[i]->subWindowList())
            if (s->widget() == view)
                return int(i);
    return -1;
}

int DocumentArea::allowedMoves() const
{
    if (!m_groupsOn || !activeSub())
        return 0;
    const auto it = std::find(m_areas.begin(), m_areas.end(), activeArea());
    const int group = int(it - m_areas.begin());
    int flags = 0;
    // A new group needs a document left behind; one splitter keeps one
    // direction, so once there are groups only that direction may be added.
    if (activeArea()->subWindowList().size() > 1) {
        const bool single = m_areas.size() == 1;
        if (single || m_split->orientation() == Qt::Horizontal)
            flags |= NewVerticalGroup;
        if (single || m_split->orientation() == Qt::Vertical)
            flags |= NewHorizontalGroup;
    }
    if (group > 0)
        flags |= PreviousGroup;
    if (group + 1 < int(m_areas.size()))
        flags |= NextGroup;
    return flags;
}

bool DocumentArea::newTabGroup(Qt::Orientation orientation)
{
    const int need = orientation == Qt::Horizontal ? NewHorizontalGroup : NewVerticalGroup;
    if (!(allowedMoves() & need))
        return false;
    // A horizontal group lies below the others, a vertical one beside them.
    m_split->setOrientation(orientation == Qt::Horizontal ? Qt::Vertical : Qt::Horizontal);
    QMdiSubWindow* sub = activeSub();
    QMdiArea* from = activeArea();
    const auto it = std::find(m_areas.begin(), m_areas.end(), from);
    const int group = int(it - m_areas.begin());
    QMdiArea* area = makeArea();
    // The new group follows the one it came from.
    m_areas.pop_back();
    m_areas.insert(m_areas.begin() + group + 1, area);
    m_split->insertWidget(group + 1, area);
    from->setActiveSubWindow(sub);
    m_lastActive = from;
    return moveActiveTo(group + 1);
}

bool DocumentArea::moveToNextGroup()
{
    if (!(allowedMoves() & NextGroup))
        return false;
    const auto it = std::find(m_areas.begin(), m_areas.end(), activeArea());
    return moveActiveTo(int(it - m_areas.begin()) + 1);
}

bool DocumentArea::moveToPreviousGroup()
{
    if (!(allowedMoves() & PreviousGroup))
        return false;
    const auto it = std::find(m_areas.begin(), m_areas.end(), activeArea());
    return moveActiveTo(int(it - m_areas.begin()) - 1);
}

bool DocumentArea::moveActiveTo(int group)
{
    if (group < 0 || group >= int(m_areas.size()))
        return false;
    QMdiSubWindow* sub = activeSub();
    if (!sub || !sub->widget())
        return false;
    QWidget* view = sub->widget();
    const QString title = sub->windowTitle();
    const QIcon icon = sub->windowIcon();
    sub->setWidget(nullptr);
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->deleteLater();
    sub->hide();
    m_lastActive = m_areas[size_t(group)];
    addDocument(view, title, icon);
    view->show();
    dropEmptyAreas();
    return true;
}

void DocumentArea::dropEmptyAreas()
{
    if (m_areas.size() < 2)
        return;
    for (auto it = m_areas.begin(); it != m_areas.end() && m_areas.size() > 1;) {
        QMdiArea* a = *it;
        bool empty = true;
        for (QMdiSubWindow* s : a->subWindowList())
            if (s->widget() && !s->isHidden())
                empty = false;
        if (empty) {
            if (m_lastActive == a)
                m_lastActive = nullptr;
            it = m_areas.erase(it);
            a->deleteLater();
            a->hide();
        } else {
            ++it;
        }
    }
    if (!m_lastActive)
        m_lastActive = m_areas.front();
}

void DocumentArea::cascade()
{
    QMdiArea* a = activeArea();
    a->setViewMode(QMdiArea::SubWindowView);
    a->cascadeSubWindows();
}

void DocumentArea::tile(Qt::Orientation orientation)
{
    QMdiArea* a = activeArea();
    a->setViewMode(QMdiArea::SubWindowView);
    const auto subs = a->subWindowList();
    if (subs.isEmpty())
        return;
    const QSize size = a->viewport()->size();
    const int n = int(subs.size());
    for (int i = 0; i < n; ++i) {
        subs[i]->showNormal();
        if (orientation == Qt::Horizontal)
            subs[i]->setGeometry(0, i * size.height() / n, size.width(), size.height() / n);
        else
            subs[i]->setGeometry(i * size.width() / n, 0, size.width() / n, size.height());
    }
}

} // namespace ui
