#pragma once
// The drop-down list that CListReport opens over a cell: the column's choices,
// sorted, six rows tall. It reports the chosen entry to the list when it loses
// the focus or its list closes (the first entry stands for an empty text, and
// no text after Escape) and then deletes itself.
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

    CListReport* m_list;
    int m_row;
    int m_column;
    bool m_escape = false;
    bool m_finished = false;
};
