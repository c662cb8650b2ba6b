#include "ColorFormView.h"

#include <QPainter>

CColorFormView::CColorFormView(QWidget* parent)
    : QWidget(parent), m_background(palette().color(QPalette::Button))
{
}

void CColorFormView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
    QWidget::paintEvent(event);
}
