#pragma once
// The edit box that CListReport opens over a cell; it reports its text to the
// list when it loses the focus (no text after Escape) and then deletes itself.
#include "InPlaceEnd.h"

#include <QLineEdit>

class CListReport;

class CInPlaceEdit : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int kControlId = 5001;
    CInPlaceEdit(CListReport* list, int row, int column, const QString& initial);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void finish();
    void grow();

    InPlaceEnd m_end;
};
