// The grid model's batching and row bookkeeping: many cell writes become one
// change notice per parent, and ids of removed rows never reach other rows.
#include "testkit/headless.h"

#include "ui/grid_model.h"
#include "ui/grid_view.h"

#include <QAbstractProxyModel>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTreeView>

namespace {

class GridModelTest : public testkit::Headless {};

QStringList columns(int n)
{
    QStringList names;
    for (int i = 0; i < n; ++i)
        names << QStringLiteral("C%1").arg(i);
    return names;
}

TEST_F(GridModelTest, BurstOfWritesIsPublishedOncePerParent)
{
    ui::GridModel model;
    model.setColumns(columns(23));
    std::vector<int> rows;
    for (int i = 0; i < 1000; ++i)
        rows.push_back(model.addRow());
    const int group = model.addRow();
    const int child = model.addRow(group);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy batches(&model, &ui::GridModel::batchApplied);
    for (int i = 0; i < 5000; ++i)
        model.setText(rows[size_t((i * 7) % 1000)], i % 23, QString::number(i));
    model.setText(child, 3, QStringLiteral("x"));
    EXPECT_EQ(changed.count(), 0) << "writes are only marked until the batch is flushed";

    model.flush();
    ASSERT_EQ(changed.count(), 2) << "one notice for the top rows, one for the group's rows";
    ASSERT_EQ(batches.count(), 1);
    EXPECT_EQ(batches.at(0).at(0).toInt(), 5001);

    // The top-level notice spans exactly the written rows and columns.
    for (const QList<QVariant>& args : changed) {
        const auto tl = args.at(0).value<QModelIndex>();
        const auto br = args.at(1).value<QModelIndex>();
        if (tl.parent().isValid()) {
            EXPECT_EQ(model.rowIdOf(tl), child);
            continue;
        }
        EXPECT_EQ(tl.row(), 0);
        EXPECT_EQ(br.row(), 999);
        EXPECT_EQ(tl.column(), 0);
        EXPECT_EQ(br.column(), 22);
    }

    // Writing the same text again is no change at all.
    changed.clear();
    model.setText(rows[0], 0, model.text(rows[0], 0));
    model.flush();
    EXPECT_EQ(changed.count(), 0);
}

// A live grid repaints each batch: only the cells of the batch's span are
// painted again, except where a cell paints beyond itself (a merged area is
// painted whole when one of its cells changed).
TEST_F(GridModelTest, ABatchRepaintsItsCellsAndWholeMergedAreas)
{
    ui::GridView view;
    ui::GridModel& model = view.model();
    model.setColumns(columns(6));
    std::vector<int> rows;
    for (int i = 0; i < 10; ++i) {
        rows.push_back(model.addRow());
        for (int c = 0; c < 6; ++c)
            model.setText(rows.back(), c, QStringLiteral("%1.%2").arg(i).arg(c));
    }
    ASSERT_TRUE(model.mergeCells(rows[5], rows[6], 2, 3));
    view.resize(700, 400);
    view.show();
    pumpUntil([] { return false; }, 50);
    QTreeView* tree = view.tree();
    const auto cellRect = [&](int row, int column) {
        const auto* proxy = qobject_cast<const QAbstractProxyModel*>(tree->model());
        const QModelIndex source = model.indexOf(rows[size_t(row)], column);
        return tree->visualRect(proxy ? proxy->mapFromSource(source) : source);
    };
    ASSERT_TRUE(tree->viewport()->rect().contains(cellRect(9, 5)));
    struct Painted : QObject {
        QRegion region;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                region += static_cast<QPaintEvent*>(e)->region();
            return false;
        }
    } painted;
    tree->viewport()->installEventFilter(&painted);

    model.setText(rows[1], 1, QStringLiteral("a"));
    model.setText(rows[2], 2, QStringLiteral("b"));
    model.flush();
    pumpUntil([] { return false; }, 20);
    EXPECT_TRUE(painted.region.contains(cellRect(1, 1)));
    EXPECT_TRUE(painted.region.contains(cellRect(2, 2)));
    EXPECT_FALSE(painted.region.intersects(cellRect(9, 5))) << "a cell outside the batch";

    // The merged area's first cell changes: its other cells show its text too.
    painted.region = QRegion();
    model.setText(rows[4], 2, QStringLiteral("c"));
    model.setText(rows[5], 2, QStringLiteral("d"));
    model.flush();
    pumpUntil([] { return false; }, 20);
    EXPECT_TRUE(painted.region.contains(cellRect(6, 3)));
    tree->viewport()->removeEventFilter(&painted);
}

TEST_F(GridModelTest, AutoFlushCoalescesIntoOneNoticePerEventLoopTurn)
{
    ui::GridModel model;
    model.setColumns(columns(3));
    const int a = model.addRow();
    const int b = model.addRow();
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setText(a, 0, QStringLiteral("1"));
    model.setTextColour(b, 2, ui::Rgb{0x0000FF});
    model.setBackColour(b, 1, ui::Rgb{0x00FF00});
    ASSERT_TRUE(pumpUntil([&] { return changed.count() > 0; }));
    pumpUntil([] { return false; }, 20);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(GridModelTest, RemovedRowsLeaveNoTraceInTheirSuccessors)
{
    ui::GridModel model;
    model.setColumns(columns(2));
    const int group = model.addRow();
    const int detail = model.addRow(group);
    model.setRowData(detail, 42);
    model.setText(detail, 1, QStringLiteral("old"));
    ASSERT_TRUE(model.removeRow(group));
    EXPECT_FALSE(model.isRow(group));
    EXPECT_FALSE(model.isRow(detail));
    EXPECT_EQ(model.rowData(detail), nullptr);
    model.setText(detail, 1, QStringLiteral("ignored")); // a stale id is a no-op
    EXPECT_EQ(model.rowTotal(), 0);

    const int fresh = model.addRow();
    EXPECT_EQ(model.rowData(fresh), nullptr);
    EXPECT_TRUE(model.text(fresh, 1).isEmpty());
    EXPECT_EQ(model.rowDataAs<QString>(fresh), nullptr);
    model.setRowData(fresh, 7);
    EXPECT_EQ(model.rowDataAs<QString>(fresh), nullptr) << "row data is typed: a wrong type reads as none";
    ASSERT_NE(model.rowDataAs<int>(fresh), nullptr);
    EXPECT_EQ(*model.rowDataAs<int>(fresh), 7);
}

TEST_F(GridModelTest, PreorderListsGroupRowsBeforeTheirDetails)
{
    ui::GridModel model;
    model.setColumns(columns(1));
    const int g1 = model.addRow();
    const int d1 = model.addRow(g1);
    const int g2 = model.addRow();
    const int d2 = model.addRow(g2);
    const int d0 = model.insertRow(0, g1);
    EXPECT_EQ(model.preorder(), (std::vector<int>{g1, d0, d1, g2, d2}));
    EXPECT_EQ(model.positionOf(d1), 1);
    EXPECT_EQ(model.rowIdOf(model.indexOf(d2, 0)), d2);
    EXPECT_EQ(model.rowIdOf(model.parent(model.indexOf(d2, 0))), g2);
}

TEST_F(GridModelTest, ButtonCellSendsItsCommandByClickToParentAndByKeyToGrid)
{
    ui::GridView view;
    view.model().setColumns(columns(3));
    const int row = view.model().addRow();
    view.model().setButton(row, 2, 4711, QStringLiteral("Accept"));
    QSignalSpy toParent(&view, &ui::GridView::commandToParent);
    QSignalSpy toGrid(&view, &ui::GridView::commandToGrid);
    view.pressButton(row, 2, false);
    view.pressButton(row, 2, true);
    view.pressButton(row, 1, false); // not a button: nothing
    ASSERT_EQ(toParent.count(), 1);
    ASSERT_EQ(toGrid.count(), 1);
    EXPECT_EQ(toParent.at(0).at(0).toInt(), 4711);
    EXPECT_EQ(toGrid.at(0).at(1).toInt(), row);
}

TEST_F(GridModelTest, CopySelectionGivesShownColumnsInViewOrder)
{
    ui::GridView view;
    view.model().setColumns({"Symbol", "Qty", "Price"});
    const int a = view.model().addRow();
    const int b = view.model().addRow();
    for (int col = 0; col < 3; ++col) {
        view.model().setText(a, col, QStringLiteral("a%1").arg(col));
        view.model().setText(b, col, QStringLiteral("b%1").arg(col));
    }
    view.setColumnHidden(1, true);
    view.moveColumn(2, 0);
    view.selectRow(b);
    view.selectRow(a, true);
    EXPECT_EQ(view.copySelection(true), QStringLiteral("Price\tSymbol\na2\ta0\nb2\tb0\n"));
}

} // namespace

// A cell shows a formatted text, never a raw double: the owner's text stays
// when the value comes after it, and a cell given only a value shows it with
// two decimals (integers as they are) and follows later values.
TEST_F(GridModelTest, ValueKeepsTheOwnersTextAndIsFormattedWhereThereIsNone)
{
    ui::GridModel model;
    model.setColumns(columns(2));
    const int row = model.addRow();

    model.setText(row, 0, QStringLiteral("822.5000"));
    model.setValue(row, 0, 822.5);
    EXPECT_EQ(model.text(row, 0).toStdString(), "822.5000") << "the owner's text, with its instrument's decimals";
    EXPECT_EQ(model.value(row, 0).toDouble(), 822.5) << "the value stays for sorting";

    struct Case {
        const char* name;
        QVariant value;
        const char* shown;
    };
    const Case cases[] = {
        {"a sum that is not exact", QVariant(-481.9999999997681), "-482.00"},
        {"a price with one decimal", QVariant(822.5), "822.50"},
        {"a negative zero", QVariant(-0.0), "0.00"},
        {"a tiny negative that rounds to zero", QVariant(-0.001), "0.00"},
        {"a quantity of 0", QVariant(0), "0"},
        {"a quantity", QVariant(1500), "1500"},
        {"a large whole double", QVariant(12345678.0), "12345678.00"},
    };
    for (const Case& c : cases) {
        model.setValue(row, 1, c.value); // no text of its own: follows each value
        EXPECT_EQ(model.text(row, 1).toStdString(), c.shown) << c.name;
    }

    // Clearing the owner's text hands the cell back to its value.
    model.setText(row, 0, QString());
    model.setValue(row, 0, 817.25);
    EXPECT_EQ(model.text(row, 0).toStdString(), "817.25");
}
