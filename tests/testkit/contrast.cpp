#include "testkit/contrast.h"

#include "ui/grid_model.h"
#include "ui/grid_view.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeView>

#include <algorithm>
#include <cmath>

namespace testkit {

namespace {

double channel(int value)
{
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c)
{
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::vector<CellColours> cellColours(const ui::GridView& grid)
{
    const ui::GridModel& model = grid.model();
    const QPalette palette = grid.tree()->palette();
    std::vector<CellColours> out;
    for (int rowId : model.preorder()) {
        if (!grid.isRowShown(rowId))
            continue;
        for (int column = 0; column < model.columns(); ++column) {
            if (grid.isColumnHidden(column) || model.text(rowId, column).trimmed().isEmpty())
                continue;
            // A merged cell shows its first cell's colours.
            int r = rowId, c = column;
            if (const ui::GridModel::MergeRange* merge = model.mergeAt(rowId, column)) {
                r = merge->rows.front();
                c = merge->firstColumn;
            }
            CellColours cell{rowId, column, model.text(r, c), ui::toQColor(model.effectiveTextColour(r, c)),
                             ui::toQColor(model.effectiveBackColour(r, c)), 0};
            if (!cell.fore.isValid())
                cell.fore = palette.color(QPalette::Active, QPalette::Text);
            if (!cell.back.isValid())
                cell.back = palette.color(QPalette::Active, QPalette::Base);
            cell.ratio = contrastRatio(cell.fore, cell.back);
            out.push_back(std::move(cell));
        }
    }
    return out;
}

std::vector<std::string> unreadableCells(const ui::GridView& grid, double minimum)
{
    std::vector<std::string> out;
    for (const CellColours& c : cellColours(grid))
        if (c.ratio < minimum)
            out.push_back(QStringLiteral("column %1 \"%2\": %3 on %4, %5:1")
                              .arg(grid.model().columnName(c.column), c.text, c.fore.name(), c.back.name())
                              .arg(c.ratio, 0, 'f', 2)
                              .toStdString());
    return out;
}

} // namespace testkit

namespace testkit {

std::vector<std::string> unreadableLabels(QWidget& window, double minimum)
{
    window.ensurePolished();
    const QColor back = window.palette().color(QPalette::Active, QPalette::Window);
    std::vector<std::string> out;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->isHidden() || label->text().trimmed().isEmpty())
            continue;
        label->ensurePolished();
        const QColor fore = label->palette().color(QPalette::Active, label->foregroundRole());
        const double ratio = contrastRatio(fore, back);
        if (ratio < minimum)
            out.push_back(QStringLiteral("label \"%1\": %2 on %3, %4:1")
                              .arg(label->text(), fore.name(), back.name())
                              .arg(ratio, 0, 'f', 2)
                              .toStdString());
    }
    return out;
}

} // namespace testkit

namespace testkit {

std::vector<std::string> clippedTexts(QWidget& window)
{
    window.ensurePolished();
    std::vector<std::string> out;
    const auto check = [&out](QWidget* w, const QString& text, int padding) {
        if (w->isHidden() || text.trimmed().isEmpty())
            return;
        const int need = w->fontMetrics().horizontalAdvance(text) + padding;
        if (need > w->width())
            out.push_back(QStringLiteral("\"%1\": %2 pixels wide, the text needs %3").arg(text).arg(w->width()).arg(need).toStdString());
    };
    for (QLabel* label : window.findChildren<QLabel*>())
        if (!label->wordWrap())
            check(label, label->text(), 0);
    for (QPushButton* button : window.findChildren<QPushButton*>())
        check(button, button->text().remove(QLatin1Char('&')), 8);
    return out;
}

} // namespace testkit
