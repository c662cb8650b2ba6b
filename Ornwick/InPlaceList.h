#pragma once
// The drop-down list that CListReport opens over a cell: the column's choices,
// sorted, six rows tall. It reports the chosen entry to the list when it loses
// the focus or its list closes (the first entry stands for an empty text, and
// no text after Escape) and then deletes itself.
#include "InPlaceEnd.h"

#include <QComboBox>

class CListReport;

class CInPlaceList : public QComboBox {
    Q_OBJECT
public:
    static constexpr int kControlId = 5002;
    CInPlaceList(CListReport* list, int row, int column, const QStringList& choices, const QString& current);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void finish();

    InPlaceEnd m_end;
};
