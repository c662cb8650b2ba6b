#include "InitDialogBar.h"

#include <QPainter>

CInitDialogBar::CInitDialogBar(QWidget* parent) : QWidget(parent) {}

bool CInitDialogBar::Create(QWidget* parent)
{
    if (!parent)
        return false;
    setParent(parent);
    return OnInitDialogBar();
}

bool CInitDialogBar::OnInitDialogBar()
{
    m_colour = QColor();
    update();
    return true;
}

bool CInitDialogBar::OnInitDialogBar(const QColor& colour)
{
    m_colour = colour;
    update();
    return true;
}

void CInitDialogBar::paintEvent(QPaintEvent* event)
{
    if (m_colour.isValid()) {
        QPainter painter(this);
        painter.fillRect(rect(), m_colour);
    }
    QWidget::paintEvent(event);
}
