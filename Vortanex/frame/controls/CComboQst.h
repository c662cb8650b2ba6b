#pragma once
// A combo of security questions whose "Others" entry enables a free-text,
// upper-case edit created just below the combo (id 5000, owned by the combo's
// parent). GetSelectedText gives the chosen question or the typed one.
#include <QComboBox>

class CEditValidate;

class CComboQst : public QComboBox {
    Q_OBJECT
public:
    static constexpr int kEditId = 5000;
    static QString OthersText() { return QStringLiteral("Others"); }

    // The parent must exist: the edit is its child.
    explicit CComboQst(QWidget* parent);

    CEditValidate* Edit() const { return m_edit; }
    QString GetSelectedText() const;

    // The drop-down closed (also called by hidePopup).
    void OnCloseUp();
    // The selection changed (by keyboard or list).
    void OnSelChange();
    // Places the edit: the combo's rectangle, top down 28, bottom down 25.
    void PlaceEdit();

    void showPopup() override;
    void hidePopup() override;

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    CEditValidate* m_edit = nullptr;
    bool m_popupOpen = false;
};
