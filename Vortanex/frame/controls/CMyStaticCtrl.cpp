#include "frame/controls/CMyStaticCtrl.h"

#include "ui/rgb.h"

#include <cstdlib>

CMyStaticCtrl::CMyStaticCtrl(QWidget* parent) : QLabel(parent)
{
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    SetTextColour(m_textColour);
}

void CMyStaticCtrl::SetTextFont(const QString& face, int height)
{
    QFont f(face);
    f.setStyleHint(QFont::SansSerif);
    f.setWeight(QFont::Normal);
    if (height != 0)
        f.setPixelSize(std::abs(height));
    setFont(f);
    update();
}

void CMyStaticCtrl::SetTextColour(uint32_t colour)
{
    m_textColour = colour;
    QPalette p = palette();
    const QColor c = ui::toQColor(ui::Rgb{colour});
    if (c.isValid())
        p.setColor(QPalette::WindowText, c);
    setPalette(p);
}

void CMyStaticCtrl::SetWindowText(const QString& text)
{
    setText(text);
    // The parent repaints under the label, so no trace of the old text stays.
    if (QWidget* p = parentWidget())
        p->update(geometry());
    update();
}
