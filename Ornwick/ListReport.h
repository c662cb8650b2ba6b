#pragma once
// A report list whose cells can be edited in place, per column with an edit
// box or with a drop-down list of choices. The first click on a row selects
// it; a click on the selected row edits the cell under the mouse.
#include "OrnwickExport.h"

#include <QStringList>
#include <QTableWidget>

#include <vector>

class CInPlaceEdit;
class CInPlaceList;

class ORNWICK_API CListReport : public QTableWidget {
    Q_OBJECT
public:
    enum EditType { EditNone = 0, EditBox = 1, EditList = 2 };

    explicit CListReport(QWidget* parent = nullptr);

    // Sizes the per-column edit table from the column count, all "none".
    void SetColumnEditInit();
    // Ignored before SetColumnEditInit or for a column beyond the table.
    void SetColumnEditInfo(int column, int type, const QStringList& choices = {});
    // In-place editing happens only with edit labels switched on.
    void SetEditLabels(bool on) { m_editLabels = on; }

    // The row under a viewport point (-1 when none) and its column.
    int HitTestEx(const QPoint& point, int* column) const;
    CInPlaceEdit* EditSubLabel(int row, int column);
    CInPlaceList* ShowInPlaceList(int row, int column, const QStringList& choices, const QString& current);

    // End of an in-place edit: a text (none after Escape) becomes the cell's.
    void EndLabelEdit(int row, int column, const QString* text);

signals:
    void labelEdited(int row, int column, const QString& text);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    // The editor's rectangle for a cell, or an empty one when the column is
    // too narrow to edit in.
    QRect editorRect(int row, int column);

    struct ColumnEdit {
        int type = EditNone;
        QStringList choices;
    };
    std::vector<ColumnEdit> m_columns;
    bool m_editLabels = false;
};
