#pragma once
// The data behind every grid and list of the terminal: rows (optionally under
// group rows), cells with text, value, colours, font, data icon and button,
// per-row data and preview text. UI thread only.
//
// Rows are addressed by stable ids, never by pointers, so a caller that keeps
// an id after the row was removed gets a soft failure instead of a dangling
// read.
//
// Grouping: with group columns set, the owner's top rows are shown under
// group rows the model makes itself, one level per group column, keyed by the
// cell text. The owner keeps adding, removing and writing its rows as if they
// were top rows; the groups are rebuilt (one reset) on the next flush after a
// top row came or went or a group column's text changed, so they survive a
// refill. Cells can be merged over a range of columns and sibling rows; the
// merged area shows the first cell's text. Cell writes are cheap: they only mark a span dirty, and the changes are
// published as one dataChanged per parent row when the batch is flushed (on
// the next event-loop turn, or by flush()), so a burst of ticks costs one
// repaint, not one per cell.
#include "ui/rgb.h"

#include <QAbstractItemModel>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <any>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

namespace ui {

class GridModel : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int kRoot = -1;

    enum Role {
        ValueRole = Qt::UserRole + 1, // the cell's value (number kinds for numeric rules)
        RowIdRole,                    // the row's id
        PreviewRole,                  // the row's preview text (column 0 only)
        ButtonRole,                   // command id of a push-button cell, 0 = none
        IconRole,                     // data icon index, -1 = none
        GroupRole,                    // true on group rows
        GroupCountRole,               // rows under a group the model made (0 for others)
    };

    // A block of merged cells: consecutive sibling rows (top to bottom) by
    // the columns firstColumn..lastColumn. It shows the first cell's text.
    struct MergeRange {
        std::vector<int> rows;
        int firstColumn = 0;
        int lastColumn = 0;
    };

    // The colour a cell shows when its own colour is the default; the rule may
    // answer the default sentinel too (then the control's own colour applies).
    using ColourRule = std::function<Rgb(int rowId, int column, bool back)>;

    explicit GridModel(QObject* parent = nullptr);
    ~GridModel() override;

    // Columns. Changing them resets the model (rows keep their cells, cut or
    // padded to the new count).
    void setColumns(const QStringList& names);
    void setColumnName(int column, const QString& name);
    int columns() const { return int(m_columns.size()); }
    QString columnName(int column) const;
    const QStringList& columnNames() const { return m_columns; }

    // Rows. insertRow with a position past the end appends. -1 when the parent
    // does not exist.
    int addRow(int parentId = kRoot);
    int insertRow(int position, int parentId = kRoot);
    bool removeRow(int rowId); // with its child rows
    void clearRows();
    bool isRow(int rowId) const;
    int parentOf(int rowId) const;   // kRoot for top rows, kRoot for unknown ids
    int positionOf(int rowId) const; // among its siblings, -1 when unknown
    const std::vector<int>& childrenOf(int parentId) const;
    int idAt(int position, int parentId = kRoot) const; // -1 when out of range
    int rowTotal() const { return m_liveRows; }
    // Every row id from top to bottom (a group row before its detail rows).
    std::vector<int> preorder() const;

    QModelIndex indexOf(int rowId, int column = 0) const;
    int rowIdOf(const QModelIndex& index) const; // -1 for an invalid index

    // Cells. Writes to unknown rows or columns are ignored (logged once per call site kind).
    void setText(int rowId, int column, const QString& text);
    QString text(int rowId, int column) const;
    // The value used by sorting and numeric rules. A text the owner set stays
    // what the cell shows; a cell without one shows the value formatted
    // (shownText), and follows later values.
    void setValue(int rowId, int column, const QVariant& value);
    // How a value shows in a cell that has no text of its own: integers as
    // they are, other numbers with two decimals (never "-0.00").
    static QString shownText(const QVariant& value);
    QVariant value(int rowId, int column) const;
    void setTextColour(int rowId, int column, Rgb colour);
    void setBackColour(int rowId, int column, Rgb colour);
    void setRowColours(int rowId, Rgb text, Rgb back);
    Rgb textColour(int rowId, int column) const; // the cell's own (default when unset)
    Rgb backColour(int rowId, int column) const;
    // What the cell shows: its own colour, else the colour rule's, else default.
    Rgb effectiveTextColour(int rowId, int column) const;
    Rgb effectiveBackColour(int rowId, int column) const;
    void setFont(int rowId, int column, const QFont& font);
    void clearFont(int rowId, int column);
    const QFont* font(int rowId, int column) const; // null = the view's font
    void setIcon(int rowId, int column, int iconIndex);
    int icon(int rowId, int column) const;
    // Numbers right, texts left, button captions centred.
    Qt::Alignment alignment(int rowId, int column) const;
    void setButton(int rowId, int column, int commandId, const QString& caption);
    int buttonCommand(int rowId, int column) const;

    // Row data: typed by the owner (std::any), so a reader checks the type
    // instead of reading words out of an unknown block.
    void setRowData(int rowId, std::any data);
    const std::any* rowData(int rowId) const;
    template <class T> const T* rowDataAs(int rowId) const
    {
        const std::any* a = rowData(rowId);
        return a ? std::any_cast<T>(a) : nullptr;
    }
    void setPreview(int rowId, const QString& text);
    QString preview(int rowId) const;
    void setGroup(int rowId, bool group);
    bool isGroup(int rowId) const;

    // Grouping by columns (outer level first). Unknown and repeated columns
    // are dropped; an empty list shows the rows ungrouped again.
    void setGroupColumns(std::vector<int> columns);
    const std::vector<int>& groupColumns() const { return m_groupColumns; }
    // Rebuilds the groups now (flush() does it when they are stale).
    void regroup();
    bool isAutoGroup(int rowId) const;
    int groupColumnOf(int rowId) const; // the column a made group row stands for, -1 otherwise
    int groupCount(int rowId) const;    // the owner's rows under a made group row
    // The owner's top rows in the owner's order (the top rows when not grouped).
    std::vector<int> ownerTopRows() const;

    // Merging. False when the rows are not consecutive siblings from
    // firstRowId to lastRowId, a column is out of range, or a cell of the
    // range is merged already.
    bool mergeCells(int firstRowId, int lastRowId, int firstColumn, int lastColumn);
    void unmergeCells(int rowId, int column); // the whole range the cell belongs to
    const MergeRange* mergeAt(int rowId, int column) const; // null when not merged

    void setColourRule(ColourRule rule);
    // Re-reads every cell's colours (after a colour rule's inputs changed).
    void touchAll();

    // Takes every row of `built` under one reset: a model of the same columns
    // that an owner filled off the UI thread (no view watches it, its auto
    // flush off), so a large fill costs the UI thread one reset instead of a
    // signal and a layout per row. Rows keep their ids. Grouped by the same
    // columns and regrouped, its groups are taken as they are; otherwise the
    // owner's rows are grouped here. The built model is left empty. False
    // (nothing taken) when the column counts differ.
    bool adoptRows(GridModel& built);

    // Batching. Pending spans are published by flush(); with auto flush (the
    // default) a flush is queued on the first write of a batch.
    void flush();
    void setAutoFlush(bool on) { m_autoFlush = on; }
    bool hasPending() const { return !m_dirty.empty(); }

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // After a flush published changes: how many cell writes it carried.
    void batchApplied(int writes);
    // After the groups were rebuilt (the model was reset).
    void regrouped();

private:
    struct Cell {
        QString text;
        QVariant value;
        uint32_t fg = kDefaultColour;
        uint32_t bg = kDefaultColour;
        int16_t font = -1;
        int16_t icon = -1;
        int button = 0;
        int merge = -1; // slot in m_merges
        bool ownText = false; // the text came from setText, not from the value
    };
    struct Row {
        bool alive = false;
        bool group = false;
        bool autoGroup = false; // made by the model for a group column
        int groupColumn = -1;
        int groupCount = 0;
        int parent = kRoot;
        int pos = 0;
        std::vector<int> children;
        std::vector<Cell> cells;
        std::any data;
        QString preview;
    };
    struct Span {
        int firstPos, lastPos, firstCol, lastCol;
    };

    Cell* cellAt(int rowId, int column);
    const Cell* cellAt(int rowId, int column) const;
    std::vector<int>& siblings(int parentId);
    void renumber(std::vector<int>& list, int from);
    void markDirty(int rowId, int column);
    void freeRow(int rowId);
    int fontSlot(const QFont& font);
    bool isOwnerTop(int rowId) const;
    bool isGroupKeyCell(int rowId, int column) const;
    void flushSpans();
    void needRegroup();
    void regroupNow();
    void buildGroups(const std::vector<int>& rows, size_t level, int parentId);
    int newRow(int cellCount);
    void dropMerges(int rowId);

    QStringList m_columns;
    std::vector<Row> m_rows;
    std::vector<int> m_free;
    std::vector<int> m_top;
    int m_liveRows = 0;
    std::vector<QFont> m_fonts;
    ColourRule m_colourRule;
    std::vector<int> m_groupColumns;
    std::vector<int> m_ownerTop; // the owner's top rows in its order, kept while grouped
    bool m_regroupNeeded = false;
    std::vector<MergeRange> m_merges; // an empty rows list marks a free slot
    std::unordered_map<int, Span> m_dirty; // parent id -> span of changed cells
    int m_pendingWrites = 0;
    bool m_autoFlush = true;
    bool m_flushQueued = false;
};

} // namespace ui
