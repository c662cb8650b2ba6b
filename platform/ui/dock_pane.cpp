#include "ui/dock_pane.h"

#include <QMainWindow>
#include <QMouseEvent>
#include <QStyle>

namespace ui {

namespace {
constexpr int kStrip = 24; // the collapsed pane's thickness in pixels
} // namespace

DockPane::DockPane(const QString& title, QWidget* parent) : QDockWidget(title, parent) {}

void DockPane::setCollapsed(bool collapsed)
{
    if (collapsed == m_collapsed)
        return;
    m_collapsed = collapsed;
    auto* main = qobject_cast<QMainWindow*>(parentWidget());
    const Qt::DockWidgetArea area = main ? main->dockWidgetArea(this) : Qt::NoDockWidgetArea;
    const bool side = area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea;
    if (collapsed) {
        m_minimum = minimumSize();
        m_maximum = maximumSize();
        if (widget())
            widget()->hide();
        if (side) {
            setFeatures(features() | QDockWidget::DockWidgetVerticalTitleBar);
            setMinimumWidth(kStrip);
            setMaximumWidth(kStrip);
        } else {
            setMinimumHeight(kStrip);
            setMaximumHeight(kStrip);
        }
    } else {
        setFeatures(features() & ~QDockWidget::DockWidgetVerticalTitleBar);
        setMinimumSize(m_minimum);
        setMaximumSize(m_maximum);
        if (widget())
            widget()->show();
    }
}

bool DockPane::event(QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick && !isFloating()) {
        auto* me = static_cast<QMouseEvent*>(event);
        const bool vertical = features() & QDockWidget::DockWidgetVerticalTitleBar;
        const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
        const QPoint p = me->position().toPoint();
        if ((vertical ? p.x() : p.y()) <= title) {
            // The title's double click collapses instead of floating the pane.
            setCollapsed(!m_collapsed);
            return true;
        }
    }
    return QDockWidget::event(event);
}

} // namespace ui
