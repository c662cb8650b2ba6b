#include "frame/controls/CComboQst.h"

#include "frame/controls/CEditValidate.h"

CComboQst::CComboQst(QWidget* parent) : QComboBox(parent)
{
    m_edit = new CEditValidate(parent);
    m_edit->setObjectName(QStringLiteral("5000"));
    m_edit->setProperty("controlId", kEditId);
    m_edit->SetUpperCase(true);
    m_edit->setEnabled(false);
    m_edit->show();
    PlaceEdit();
    connect(this, &QComboBox::currentIndexChanged, this, [this] { OnSelChange(); });
}

void CComboQst::PlaceEdit()
{
    if (!m_edit)
        return;
    QRect r = geometry();
    r.setTop(r.top() + 28);
    r.setBottom(r.bottom() + 25);
    m_edit->setGeometry(r);
}

void CComboQst::OnCloseUp()
{
    if (currentIndex() >= 0 && currentText() == OthersText()) {
        m_edit->setEnabled(true);
    } else {
        m_edit->setEnabled(false);
        m_edit->clear();
    }
    m_edit->setFont(font());
}

void CComboQst::OnSelChange()
{
    m_edit->setEnabled(currentIndex() >= 0 && currentText() == OthersText());
    m_edit->setFont(font());
}

QString CComboQst::GetSelectedText() const
{
    if (currentIndex() < 0)
        return {};
    const QString t = itemText(currentIndex());
    return t == OthersText() ? m_edit->text() : t;
}

void CComboQst::showPopup()
{
    m_popupOpen = true;
    QComboBox::showPopup();
}

void CComboQst::hidePopup()
{
    QComboBox::hidePopup();
    // Qt may hide a popup that was never shown; only a real close-up counts.
    if (m_popupOpen) {
        m_popupOpen = false;
        OnCloseUp();
    }
}

void CComboQst::moveEvent(QMoveEvent* event)
{
    QComboBox::moveEvent(event);
    PlaceEdit();
}

void CComboQst::resizeEvent(QResizeEvent* event)
{
    QComboBox::resizeEvent(event);
    PlaceEdit();
}
