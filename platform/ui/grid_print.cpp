#include "ui/grid_print.h"

#include "ui/grid_model.h"
#include "ui/grid_view.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QTreeView>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace ui {
namespace grid_print_detail {
namespace {

// The grid's widths and fonts are screen pixels; the page is laid out in them
// and the painter scales them to the printer's resolution.
constexpr double kScreenDpi = 96.0;
constexpr int kMinColumnWidth = 16;
constexpr int kCellPadding = 3;

struct PrintColumn {
    int column;
    int width;
};

// Where everything goes, in screen pixels of the page's printable area.
struct GridPages {
    QFont font;
    QFont bold;
    int rowHeight = 0;
    int headerHeight = 0;
    int titleHeight = 0;
    double scale = 1;
    double pageWidth = 0;
    double pageHeight = 0;
    std::vector<std::vector<PrintColumn>> bands;
    std::vector<int> rows;
    int rowsPerPage = 1;

    int rowPages() const { return std::max(1, int((rows.size() + size_t(rowsPerPage) - 1) / size_t(rowsPerPage))); }
    int pageCount() const { return rowPages() * int(bands.size()); }
};

// A font in points would grow by the printer's resolution and again by the
// painter's scale: it is turned into screen pixels first.
QFont pixelFont(QFont font)
{
    if (font.pixelSize() <= 0)
        font.setPixelSize(std::max(1, qRound(font.pointSizeF() * kScreenDpi / 72.0)));
    return font;
}

// The rows the view shows, without those under a collapsed group.
std::vector<int> printedRows(const GridView& grid)
{
    const GridModel& model = grid.model();
    std::vector<int> out;
    for (const int id : grid.shownRows()) {
        bool folded = false;
        for (int p = model.parentOf(id); p != GridModel::kRoot && !folded; p = model.parentOf(p))
            folded = !grid.isGroupExpanded(p);
        if (!folded)
            out.push_back(id);
    }
    return out;
}

GridPages layOut(const GridView& grid, QPrinter& printer)
{
    GridPages p;
    p.scale = std::max(1, printer.resolution()) / kScreenDpi;
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    p.pageWidth = page.width() / p.scale;
    p.pageHeight = page.height() / p.scale;
    p.font = pixelFont(grid.tree()->font());
    p.bold = p.font;
    p.bold.setBold(true);
    const QFontMetrics fm(p.font);
    const GridModel& model = grid.model();

    int headerLines = std::max(1, grid.headerLineCount());
    std::vector<int> order;
    for (int c = 0; c < model.columns(); ++c) {
        // A column folded to no width is away on the screen, and on paper.
        if (grid.isColumnHidden(c) || grid.columnWidth(c) <= 0)
            continue;
        order.push_back(c);
        headerLines = std::max(headerLines, int(model.columnName(c).count(QLatin1Char('\n'))) + 1);
    }
    std::sort(order.begin(), order.end(), [&](int a, int b) { return grid.visualIndex(a) < grid.visualIndex(b); });

    p.rowHeight = fm.height() + 2 * kCellPadding;
    p.headerHeight = headerLines * fm.height() + 2 * kCellPadding;
    p.titleHeight = QFontMetrics(p.bold).height() + 3 * kCellPadding;

    std::vector<PrintColumn> band;
    double used = 0;
    for (const int c : order) {
        const int width = int(std::min<double>(std::max(kMinColumnWidth, grid.columnWidth(c)), p.pageWidth));
        if (!band.empty() && used + width > p.pageWidth) {
            p.bands.push_back(std::move(band));
            band.clear();
            used = 0;
        }
        band.push_back({c, width});
        used += width;
    }
    p.bands.push_back(std::move(band)); // a grid without a shown column still prints its title

    p.rows = printedRows(grid);
    p.rowsPerPage = std::max(1, int((p.pageHeight - p.titleHeight - p.headerHeight) / p.rowHeight));
    return p;
}

void drawPage(QPainter& painter, const GridView& grid, const QString& title, const GridPages& p, size_t band,
              int rowPage, int pageNumber)
{
    const GridModel& model = grid.model();
    const std::vector<PrintColumn>& columns = p.bands[band];
    int bandWidth = 0;
    for (const PrintColumn& c : columns)
        bandWidth += c.width;

    painter.setPen(Qt::black);
    painter.setFont(p.bold);
    const QRectF titleRect(0, 0, p.pageWidth, p.titleHeight - kCellPadding);
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, title);
    painter.setFont(p.font);
    painter.drawText(titleRect, Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("Page %1 of %2").arg(pageNumber).arg(p.pageCount()));

    const QFontMetrics fm(p.font);
    const QPen line(QColor(0xA0, 0xA0, 0xA0));
    int y = p.titleHeight;
    int x = 0;
    painter.setFont(p.bold);
    for (const PrintColumn& c : columns) {
        const QRect cell(x, y, c.width, p.headerHeight);
        painter.fillRect(cell, QColor(0xE4, 0xE4, 0xE4));
        painter.setPen(line);
        painter.drawRect(cell);
        painter.setPen(Qt::black);
        painter.drawText(cell.adjusted(kCellPadding, 0, -kCellPadding, 0), Qt::AlignCenter,
                         model.columnName(c.column));
        x += c.width;
    }
    y += p.headerHeight;

    const size_t first = size_t(rowPage) * size_t(p.rowsPerPage);
    const size_t last = std::min(p.rows.size(), first + size_t(p.rowsPerPage));
    for (size_t r = first; r < last; ++r) {
        const int id = p.rows[r];
        if (model.isGroup(id)) {
            const QRect cell(0, y, bandWidth, p.rowHeight);
            painter.fillRect(cell, QColor(0xF2, 0xF2, 0xF2));
            painter.setPen(line);
            painter.drawRect(cell);
            painter.setPen(Qt::black);
            painter.setFont(p.bold);
            painter.drawText(cell.adjusted(kCellPadding, 0, -kCellPadding, 0), Qt::AlignLeft | Qt::AlignVCenter,
                             QFontMetrics(p.bold).elidedText(grid.groupCaption(id), Qt::ElideRight,
                                                             cell.width() - 2 * kCellPadding));
        } else {
            painter.setFont(p.font);
            x = 0;
            for (const PrintColumn& c : columns) {
                const QRect cell(x, y, c.width, p.rowHeight);
                painter.setPen(line);
                painter.drawRect(cell);
                painter.setPen(Qt::black);
                const QString text =
                    fm.elidedText(model.text(id, c.column), Qt::ElideRight, c.width - 2 * kCellPadding);
                painter.drawText(cell.adjusted(kCellPadding, 0, -kCellPadding, 0),
                                 int(model.alignment(id, c.column) & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter,
                                 text);
                x += c.width;
            }
        }
        y += p.rowHeight;
    }
}

// The pages of a job, counted from 1: the printer's page range within the
// document's pages (empty when the range lies past its end), and how often
// the job goes through them. A printer that makes the copies itself gets
// each page once.
struct PrintedPages {
    int from = 1;
    int to = 0;
    int passes = 1;
    bool empty() const { return from > to; }
    bool wanted(int page) const { return page >= from && page <= to; }
};

PrintedPages printedPages(const QPrinter& printer, int total)
{
    PrintedPages p;
    p.to = total;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        p.from = printer.fromPage();
        if (printer.toPage() > 0)
            p.to = std::min(total, printer.toPage());
    }
    // A PDF file or a printer without its own copies: the job repeats them.
    p.passes = printer.supportsMultipleCopies() ? 1 : std::clamp(printer.copyCount(), 1, 999);
    return p;
}

} // namespace
} // namespace grid_print_detail

int gridPageCount(const GridView& grid, const QString& title, QPrinter& printer)
{
    (void)title; // one title line on every page, whatever its text
    return grid_print_detail::layOut(grid, printer).pageCount();
}

int printGrid(const GridView& grid, const QString& title, QPrinter& printer)
{
    const grid_print_detail::GridPages pages = grid_print_detail::layOut(grid, printer);
    const grid_print_detail::PrintedPages job = grid_print_detail::printedPages(printer, pages.pageCount());
    if (job.empty())
        return 0;
    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    painter.scale(pages.scale, pages.scale);
    int printed = 0;
    for (int pass = 0; pass < job.passes; ++pass) {
        int number = 0; // pages keep their numbers in the whole document
        for (size_t band = 0; band < pages.bands.size(); ++band) {
            for (int rowPage = 0; rowPage < pages.rowPages(); ++rowPage) {
                if (!job.wanted(++number))
                    continue;
                if (printed > 0 && !printer.newPage())
                    return printed;
                ++printed;
                grid_print_detail::drawPage(painter, grid, title, pages, band, rowPage, number);
            }
        }
    }
    painter.end();
    return printed;
}

int printWidget(QWidget& widget, const QString& title, QPrinter& printer)
{
    const grid_print_detail::PrintedPages job = grid_print_detail::printedPages(printer, 1);
    if (job.empty())
        return 0;
    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    const double scale = std::max(1, printer.resolution()) / grid_print_detail::kScreenDpi;
    painter.scale(scale, scale);
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const double width = page.width() / scale;
    const double height = page.height() / scale;
    QFont bold = grid_print_detail::pixelFont(widget.font());
    bold.setBold(true);
    const int titleHeight = QFontMetrics(bold).height() + 3 * grid_print_detail::kCellPadding;
    const QSize size = widget.size();
    for (int pass = 0; pass < job.passes; ++pass) {
        if (pass > 0 && !printer.newPage())
            return pass;
        painter.save();
        painter.setFont(bold);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, 0, width, titleHeight - grid_print_detail::kCellPadding), Qt::AlignLeft | Qt::AlignVCenter,
                         title);
        if (size.width() > 0 && size.height() > 0) {
            const double fit = std::min(width / size.width(), (height - titleHeight) / size.height());
            painter.translate(0, titleHeight);
            painter.scale(fit, fit);
            widget.render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
        }
        painter.restore();
    }
    painter.end();
    return job.passes;
}

} // namespace ui
