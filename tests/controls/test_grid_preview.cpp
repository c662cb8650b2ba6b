// Preview lines: the row keeps its own line at full height (a push-button
// cell is sized for it) and gets one more line for the preview, whatever
// columns are shown, also under a group whose key column is hidden.
#include "testkit/headless.h"

#include "ui/grid_view.h"

#include <QAbstractItemModel>
#include <QTreeView>

namespace {

class GridPreviewTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        grid.model().setColumns({"Key", "Event", "Acceptance"});
        grid.resize(500, 400);
        grid.setPreviewShown(true);
        grid.show();
    }

    int addRow(const char* key, bool button, const char* preview)
    {
        ui::GridModel& m = grid.model();
        const int id = m.addRow();
        m.setText(id, 0, key);
        m.setText(id, 1, "Event");
        m.setText(id, 2, "Accept");
        if (button)
            m.setButton(id, 2, 33365, "Accept");
        if (preview)
            m.setPreview(id, preview);
        return id;
    }

    // The row's height as the view lays it out.
    int heightOf(int rowId) const
    {
        const QModelIndex index = find(grid.tree()->model(), QModelIndex(), rowId);
        EXPECT_TRUE(index.isValid()) << "row " << rowId << " not shown";
        return grid.tree()->visualRect(index.siblingAtColumn(1)).height(); // the key column may be hidden
    }

    static QModelIndex find(const QAbstractItemModel* model, const QModelIndex& parent, int rowId)
    {
        for (int r = 0; r < model->rowCount(parent); ++r) {
            const QModelIndex index = model->index(r, 0, parent);
            if (index.data(ui::GridModel::RowIdRole).toInt() == rowId &&
                !index.data(ui::GridModel::GroupRole).toBool())
                return index;
            if (const QModelIndex inner = find(model, index, rowId); inner.isValid())
                return inner;
        }
        return {};
    }

    ui::GridView grid;
};

TEST_F(GridPreviewTest, AButtonRowKeepsItsFullLineAboveThePreview)
{
    const int plain = addRow("A", false, nullptr);
    const int button = addRow("B", true, nullptr);
    const int text = addRow("C", false, "A preview line");
    const int both = addRow("D", true, "A preview line");
    grid.model().flush();
    grid.expandAll(true);
    const int previewLine = heightOf(text) - heightOf(plain);
    ASSERT_GT(previewLine, 0);
    EXPECT_GT(heightOf(button), heightOf(plain));
    // The button row's own line is as tall as without a preview.
    EXPECT_EQ(heightOf(both) - previewLine, heightOf(button));
}

TEST_F(GridPreviewTest, RowsUnderAGroupWithAHiddenKeyColumnGetTheirPreviewLine)
{
    const int plain = addRow("X", false, nullptr);
    const int text = addRow("X", false, "Announcement text");
    const int other = addRow("Y", false, "More text");
    grid.setGroupColumns({0});
    grid.setColumnHidden(0, true);
    grid.model().flush();
    grid.expandAll(true);
    ASSERT_TRUE(grid.isColumnHidden(0));
    EXPECT_GT(heightOf(text), heightOf(plain));
    EXPECT_EQ(heightOf(other), heightOf(text));
    // Turned off, the preview gives its line back.
    grid.setPreviewShown(false);
    EXPECT_EQ(heightOf(text), heightOf(plain));
}

} // namespace
