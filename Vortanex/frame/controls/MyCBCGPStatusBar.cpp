#include "frame/controls/MyCBCGPStatusBar.h"

#include <QLabel>
#include <QMetaObject>
#include <QMouseEvent>

MyCBCGPStatusBar::MyCBCGPStatusBar(QWidget* parent) : QStatusBar(parent) {}

bool MyCBCGPStatusBar::AddPane(int id, int width)
{
    if (m_panes.count(id))
        return false;
    auto* pane = new QLabel(this);
    pane->setMinimumWidth(width);
    pane->setVisible(width > 0);
    addPermanentWidget(pane);
    m_panes[id] = pane;
    return true;
}

void MyCBCGPStatusBar::SetPaneText(int id, const QString& text)
{
    if (QLabel* pane = Pane(id))
        pane->setText(text);
}

QString MyCBCGPStatusBar::PaneText(int id) const
{
    const QLabel* pane = Pane(id);
    return pane ? pane->text() : QString();
}

QLabel* MyCBCGPStatusBar::Pane(int id) const
{
    const auto it = m_panes.find(id);
    return it == m_panes.end() ? nullptr : it->second;
}

int MyCBCGPStatusBar::PaneAt(const QPoint& pos) const
{
    for (const auto& [id, pane] : m_panes)
        if (pane->isVisibleTo(this) && pane->geometry().contains(pos))
            return id;
    return 0;
}

void MyCBCGPStatusBar::clicked(int id)
{
    if (id != kClickHerePane)
        return;
    // Posted, not sent: the owner handles it after the click has finished.
    QMetaObject::invokeMethod(
        this, [this, id] { emit command(id); }, Qt::QueuedConnection);
}

// A pane (a label) passes its clicks on to the bar, so the bar sees them all.
void MyCBCGPStatusBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        clicked(PaneAt(event->position().toPoint()));
    QStatusBar::mouseReleaseEvent(event);
}
