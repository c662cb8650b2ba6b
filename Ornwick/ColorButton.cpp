#include "ColorButton.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

CColorButton::CColorButton(QWidget* parent) : QPushButton(parent)
{
    SetColorToWindowsDefault();
}

CColorButton::CColorButton(const QColor& text, const QColor& face, QWidget* parent) : CColorButton(parent)
{
    m_text = text;
    m_face = face;
}

CColorButton::CColorButton(const QColor& text, const QColor& face, const QColor& disabledFace, QWidget* parent)
    : CColorButton(text, face, parent)
{
    m_disabledFace = disabledFace;
}

CColorButton::CColorButton(const QColor& text, const QColor& face, const QColor& disabledFace, const QColor& light,
                           const QColor& highlight, const QColor& shadow, const QColor& darkShadow, QWidget* parent)
    : QPushButton(parent), m_text(text), m_face(face), m_disabledFace(disabledFace), m_light(light),
      m_highlight(highlight), m_shadow(shadow), m_darkShadow(darkShadow)
{
}

void CColorButton::SetColor(const QColor& text, const QColor& face)
{
    m_text = text;
    m_face = face;
    update();
}

void CColorButton::SetColor(const QColor& text, const QColor& face, const QColor& disabledFace)
{
    m_disabledFace = disabledFace;
    SetColor(text, face);
}

void CColorButton::SetColor(const QColor& text, const QColor& face, const QColor& disabledFace, const QColor& light,
                            const QColor& highlight, const QColor& shadow, const QColor& darkShadow)
{
    m_light = light;
    m_highlight = highlight;
    m_shadow = shadow;
    m_darkShadow = darkShadow;
    SetColor(text, face, disabledFace);
}

void CColorButton::SetColorToWindowsDefault()
{
    const QPalette& p = palette();
    m_text = p.color(QPalette::ButtonText);
    m_face = p.color(QPalette::Button);
    m_disabledFace = p.color(QPalette::Button);
    m_light = p.color(QPalette::Midlight);
    m_highlight = p.color(QPalette::Light);
    m_shadow = p.color(QPalette::Mid);
    m_darkShadow = p.color(QPalette::Shadow);
    update();
}

void CColorButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect r = rect();
    const bool pressed = isDown();
    const bool enabled = isEnabled();
    painter.fillRect(r, enabled ? m_face : m_disabledFace);

    const auto frame = [&](const QRect& box, const QColor& topLeft, const QColor& bottomRight) {
        painter.setPen(topLeft);
        painter.drawLine(box.topLeft(), box.topRight());
        painter.drawLine(box.topLeft(), box.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(box.bottomLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomRight());
    };
    QRect box = r.adjusted(0, 0, -1, -1);
    if (pressed) {
        frame(box, m_darkShadow, m_darkShadow);
        frame(box.adjusted(1, 1, -1, -1), m_shadow, m_shadow);
    } else {
        if (hasFocus() || isDefault()) {
            frame(box, Qt::black, Qt::black);
            box.adjust(1, 1, -1, -1);
        }
        frame(box, m_highlight, m_darkShadow);
        frame(box.adjusted(1, 1, -1, -1), m_light, m_shadow);
    }

    // Caption: a sunken grey on white when disabled; shifted down-right
    // while pressed.
    QRect textRect = r.adjusted(2, 2, -2, -2);
    const int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
    if (!enabled) {
        painter.setPen(Qt::white);
        painter.drawText(textRect.translated(1, 1), flags, text());
        painter.setPen(QColor(0x80, 0x80, 0x80));
        painter.drawText(textRect.translated(-1, -1), flags, text());
    } else {
        painter.setPen(m_text);
        painter.drawText(pressed ? textRect.translated(1, 1) : textRect.translated(-1, -1), flags, text());
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r.adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
