#include "ui/status_panes.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>

namespace ui {

StatusPanes::StatusPanes(QStatusBar* bar) : QObject(bar), m_bar(bar) {}

StatusPanes::~StatusPanes() = default;

StatusPanes::Pane* StatusPanes::find(int id)
{
    auto it = m_panes.find(id);
    return it == m_panes.end() ? nullptr : &it->second;
}

const StatusPanes::Pane* StatusPanes::find(int id) const
{
    auto it = m_panes.find(id);
    return it == m_panes.end() ? nullptr : &it->second;
}

void StatusPanes::addPane(int id, int width, const QString& text)
{
    if (find(id))
        return;
    Pane p;
    p.box = new QWidget(m_bar);
    auto* row = new QHBoxLayout(p.box);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(3);
    p.icon = new QLabel(p.box);
    p.icon->setFixedSize(16, 16);
    p.icon->setVisible(false);
    p.label = new QLabel(text, p.box);
    row->addWidget(p.icon);
    row->addWidget(p.label, 1);
    p.box->installEventFilter(this);
    p.box->setProperty("paneId", id);
    if (width == kStretch)
        m_bar->addWidget(p.box, 1);
    else
        m_bar->addPermanentWidget(p.box);
    m_panes[id] = p;
    m_order.push_back(id);
    setWidth(id, width);
}

bool StatusPanes::hasPane(int id) const
{
    return find(id) != nullptr;
}

std::vector<int> StatusPanes::paneIds() const
{
    return m_order;
}

void StatusPanes::setText(int id, const QString& text)
{
    if (Pane* p = find(id))
        p->label->setText(text);
}

QString StatusPanes::text(int id) const
{
    const Pane* p = find(id);
    return p ? p->label->text() : QString();
}

void StatusPanes::setWidth(int id, int width)
{
    Pane* p = find(id);
    if (!p)
        return;
    p->width = width;
    if (width == kStretch) {
        p->box->setMinimumWidth(0);
        p->box->setVisible(true);
    } else if (width <= 0) {
        p->box->setVisible(false);
    } else {
        p->box->setFixedWidth(int(width * m_scale + 0.5));
        p->box->setVisible(true);
    }
}

void StatusPanes::setWidthScale(double scale)
{
    m_scale = scale > 0 ? scale : 1.0;
    for (const auto& [id, pane] : m_panes)
        setWidth(id, pane.width);
}

int StatusPanes::width(int id) const
{
    const Pane* p = find(id);
    return p ? p->width : 0;
}

void StatusPanes::setIcon(int id, const QIcon& icon)
{
    Pane* p = find(id);
    if (!p)
        return;
    p->hasIcon = !icon.isNull();
    p->icon->setPixmap(icon.pixmap(16, 16));
    p->icon->setVisible(p->hasIcon);
}

bool StatusPanes::hasIcon(int id) const
{
    const Pane* p = find(id);
    return p && p->hasIcon;
}

void StatusPanes::setToolTip(int id, const QString& tip)
{
    if (Pane* p = find(id))
        p->box->setToolTip(tip);
}

QString StatusPanes::toolTip(int id) const
{
    const Pane* p = find(id);
    return p ? p->box->toolTip() : QString();
}

bool StatusPanes::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && onClick) {
        const QVariant id = watched->property("paneId");
        if (id.isValid())
            onClick(id.toInt());
    }
    return QObject::eventFilter(watched, event);
}

} // namespace ui
