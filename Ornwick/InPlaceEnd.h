#pragma once
// How an edit by one of CListReport's in-place editors ends. Escape, Return and
// Enter end it, and so does losing the focus; the list then gets the value once
// (none after Escape) and takes the focus back, and the editor deletes itself.
#include <QString>

class CListReport;
class QKeyEvent;
class QWidget;

class InPlaceEnd {
public:
    InPlaceEnd(CListReport* list, int row, int column);

    // True when the key ends the edit; Escape also drops the value.
    bool isEndKey(const QKeyEvent* event);

    // Hands value to the list (the first call only), then hides the editor and
    // deletes it once control is back in the event loop.
    void finish(QWidget* editor, const QString& value);

private:
    CListReport* m_list;
    int m_row;
    int m_column;
    bool m_escape = false;
    bool m_finished = false;
};
