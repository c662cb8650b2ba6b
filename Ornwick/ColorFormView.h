#pragma once
// A form painted in one background colour.
#include "OrnwickExport.h"

#include <QColor>
#include <QWidget>

class ORNWICK_API CColorFormView : public QWidget {
    Q_OBJECT
public:
    explicit CColorFormView(QWidget* parent = nullptr);
    // Takes effect at the next repaint.
    void SetBackgroundColor(const QColor& colour) { m_background = colour; }
    QColor BackgroundColor() const { return m_background; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_background;
};
