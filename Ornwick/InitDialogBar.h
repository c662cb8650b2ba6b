#pragma once
// A dialog bar with an initialisation hook run once it is created, and an
// optional background colour.
#include "OrnwickExport.h"

#include <QColor>
#include <QWidget>

class ORNWICK_API CInitDialogBar : public QWidget {
    Q_OBJECT
public:
    explicit CInitDialogBar(QWidget* parent = nullptr);

    // Places the bar in the parent and runs OnInitDialogBar(); true only
    // when both succeed.
    bool Create(QWidget* parent);

    // Without colour: the bar keeps the palette's background.
    virtual bool OnInitDialogBar();
    // With a colour: the bar paints its background in it.
    virtual bool OnInitDialogBar(const QColor& colour);

    bool IsColoured() const { return m_colour.isValid(); }
    QColor Colour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_colour;
};
