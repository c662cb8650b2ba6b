#pragma once
// A push button drawn in chosen colours: text, face, disabled face, light,
// highlight, shadow and dark shadow.
#include "OrnwickExport.h"

#include <QColor>
#include <QPushButton>

class ORNWICK_API CColorButton : public QPushButton {
    Q_OBJECT
public:
    explicit CColorButton(QWidget* parent = nullptr);
    CColorButton(const QColor& text, const QColor& face, QWidget* parent = nullptr);
    CColorButton(const QColor& text, const QColor& face, const QColor& disabledFace, QWidget* parent = nullptr);
    CColorButton(const QColor& text, const QColor& face, const QColor& disabledFace, const QColor& light,
                 const QColor& highlight, const QColor& shadow, const QColor& darkShadow, QWidget* parent = nullptr);

    void SetColor(const QColor& text, const QColor& face);
    void SetColor(const QColor& text, const QColor& face, const QColor& disabledFace);
    void SetColor(const QColor& text, const QColor& face, const QColor& disabledFace, const QColor& light,
                  const QColor& highlight, const QColor& shadow, const QColor& darkShadow);
    // Back to the palette's button colours.
    void SetColorToWindowsDefault();

    QColor TextColor() const { return m_text; }
    QColor FaceColor() const { return m_face; }
    QColor DisabledFaceColor() const { return m_disabledFace; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_text, m_face, m_disabledFace, m_light, m_highlight, m_shadow, m_darkShadow;
};
