// Renders a sample grid to a PNG on the offscreen platform, for a person to
// look at: a two-line header, a push-button cell, rows graded in colour and
// a group row with its detail rows.
//
//   render_grid_sample OUTPUT.png
#include "frame/controls/CButtonItem.h"
#include "frame/controls/CMultiLineHeaderGridCtrl.h"
#include "frame/controls/CMyListCtrl.h"

#include <QApplication>
#include <QPixmap>
#include <QTreeView>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_grid_sample OUTPUT.png\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    CMultiLineHeaderGridCtrl grid(2);
    grid.model().setColumns({"Event\nDate", "Scrip\nName", "Record\nDate", "Buy\nQty", "Last\nPrice", "Action"});
    grid.OnCreate();
    const CButtonItem accept(5, 33401);

    const char* scrips[] = {"INFY", "TCS", "SBIN", "HDFCBANK", "RELIANCE", "ITC", "WIPRO", "LT"};
    const uint32_t upBack = 0xC0FFC0; // light green, shifted per row as the depth list does
    for (int r = 0; r < 8; ++r) {
        const int id = grid.model().addRow();
        grid.model().setText(id, 0, QStringLiteral("%1-12-2026").arg(10 + r));
        grid.model().setText(id, 1, QString::fromLatin1(scrips[r]));
        grid.model().setText(id, 2, QStringLiteral("%1-12-2026").arg(20 + r));
        grid.model().setValue(id, 3, QVariant(100 * (r + 1)));
        grid.model().setText(id, 4, QString::number(1234.5 + 37.25 * r, 'f', 2));
        grid.model().setRowColours(id, ui::Rgb{0x000000}, ui::Rgb{CMyListCtrl::ShiftColour(upBack, -750LL * r)});
        grid.model().setTextColour(id, 4, ui::Rgb{r % 2 ? 0x0000C0u : 0xC06000u});
        if (r % 3 == 0)
            accept.Place(grid.model(), id);
    }
    const int group = grid.model().addRow();
    grid.model().setText(group, 1, QStringLiteral("Bonus issues"));
    grid.model().setGroup(group, true);
    QFont bold = grid.font();
    bold.setBold(true);
    grid.model().setFont(group, 1, bold);
    for (int d = 0; d < 2; ++d) {
        const int detail = grid.model().addRow(group);
        grid.model().setText(detail, 1, d ? QStringLiteral("MARUTI") : QStringLiteral("ONGC"));
        grid.model().setText(detail, 3, QStringLiteral("1:%1").arg(d + 1));
        accept.Place(grid.model(), detail);
    }
    grid.model().flush();
    grid.expandAll(true);

    for (int c = 0; c < 6; ++c)
        grid.setColumnWidth(c, c <= 1 ? 110 : 90);
    grid.resize(600, 420);
    grid.show();
    app.processEvents();

    const QPixmap shot = grid.grab();
    if (!shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("wrote %s (%dx%d)\n", argv[1], shot.width(), shot.height());
    return 0;
}
