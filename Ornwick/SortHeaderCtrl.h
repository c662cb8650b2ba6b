#pragma once
// A simple owner-drawn column header: a sort arrow on one column, a fixed
// font ("Verdana", 12) in white, and column widths that can be saved to and
// restored from a stream.
#include "OrnwickExport.h"

#include <QColor>
#include <QFont>
#include <QHeaderView>

class QDataStream;

class ORNWICK_API CSortHeaderCtrl : public QHeaderView {
    Q_OBJECT
public:
    explicit CSortHeaderCtrl(QWidget* parent = nullptr);

    void SetSortArrow(int column, bool ascending);
    int SortColumn() const { return m_sortColumn; }
    bool SortAscending() const { return m_ascending; }

    // Storing writes the column count and each width (ints); loading applies
    // the widths only when the count matches the header's, else leaves them.
    void Serialize(QDataStream& archive, bool storing);

    // Takes up changed colours and font.
    void MyUpdate();

    virtual void DrawItem(QPainter* painter, const QRect& rect, int logicalIndex) const;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    int m_sortColumn = -1;
    bool m_ascending = true;
    QFont m_font;
    QColor m_textColour = Qt::white;
};
