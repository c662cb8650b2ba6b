#include "testkit/contrast.h"

#include "ui/grid_model.h"
#include "ui/grid_view.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QLabel>
#include <QTabBar>
#include <QToolButton>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <set>
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

namespace {

int widestLine(const QFontMetrics& fm, const QString& text)
{
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, fm.horizontalAdvance(line));
    return widest;
}

// Where a label's text lies in its parent: across as its alignment puts it
// (never beyond the label, which clips), down the lines' height centred as
// the label centres them.
QRect labelTextArea(const QLabel& label)
{
    const QFontMetrics fm = label.fontMetrics();
    const QRect box = label.contentsRect();
    const int width = std::min(widestLine(fm, label.text()), box.width());
    const int lines = int(label.text().count(QLatin1Char('\n'))) + 1;
    const int height = std::min(fm.height() * lines, box.height());
    const Qt::Alignment a = QStyle::visualAlignment(label.layoutDirection(), label.alignment());
    int x = box.left();
    if (a & Qt::AlignRight)
        x = box.right() + 1 - width;
    else if (a & Qt::AlignHCenter)
        x = box.left() + (box.width() - width) / 2;
    int y = box.top() + (box.height() - height) / 2;
    if (a & Qt::AlignTop)
        y = box.top();
    else if (a & Qt::AlignBottom)
        y = box.bottom() + 1 - height;
    return QRect(label.mapToParent(QPoint(x, y)), QSize(width, height));
}

// A control the user reads or types in: frames, group boxes and bare
// placeholders lie behind texts by design.
bool isControl(const QWidget& w)
{
    return qobject_cast<const QLabel*>(&w) || qobject_cast<const QLineEdit*>(&w) ||
        qobject_cast<const QComboBox*>(&w) || qobject_cast<const QAbstractButton*>(&w) ||
        qobject_cast<const QAbstractSpinBox*>(&w) || qobject_cast<const QAbstractItemView*>(&w) ||
        qobject_cast<const QPlainTextEdit*>(&w) || qobject_cast<const QTextEdit*>(&w);
}

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

} // namespace

std::vector<std::string> clippedTexts(QWidget& window)
{
    window.ensurePolished();
    std::vector<std::string> out;
    const auto check = [&out](QWidget* w, const QString& text, int padding) {
        if (!w->isVisibleTo(w->window()) || text.trimmed().isEmpty())
            return;
        const int need = widestLine(w->fontMetrics(), text) + padding;
        if (need > w->width())
            out.push_back(QStringLiteral("\"%1\": %2 pixels wide, the text needs %3")
                              .arg(oneLine(text))
                              .arg(w->width())
                              .arg(need)
                              .toStdString());
    };
    for (QLabel* label : window.findChildren<QLabel*>())
        if (!label->wordWrap() && label->textFormat() != Qt::RichText)
            check(label, label->text(), label->margin() * 2);
    for (QPushButton* button : window.findChildren<QPushButton*>())
        check(button, button->text().remove(QLatin1Char('&')), 8);

    // A label's text must not run into a control beside it.
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&window) || label->text().trimmed().isEmpty() || label->wordWrap() ||
            !label->parentWidget())
            continue;
        const QRect text = labelTextArea(*label);
        for (QObject* o : label->parentWidget()->children()) {
            auto* other = qobject_cast<QWidget*>(o);
            if (!other || other == label || other->isWindow() || !other->isVisibleTo(&window) || !isControl(*other))
                continue;
            auto* otherLabel = qobject_cast<QLabel*>(other);
            if (otherLabel && otherLabel->text().trimmed().isEmpty())
                continue;
            // Another label shows only its text; a control all of its box.
            const QRect area = otherLabel ? labelTextArea(*otherLabel) : other->geometry();
            if (!text.intersects(area))
                continue;
            // Each pair once.
            if (otherLabel && otherLabel < label && labelTextArea(*otherLabel).intersects(text))
                continue;
            out.push_back(QStringLiteral("\"%1\" runs into %2 \"%3\"")
                              .arg(oneLine(label->text()), QString::fromLatin1(other->metaObject()->className()),
                                   otherLabel ? oneLine(otherLabel->text()) : other->objectName())
                              .toStdString());
        }
    }
    return out;
}

std::vector<std::string> clippedTitle(QWidget& window)
{
    // A document window's title is in its frame's title bar.
    QWidget* top = &window;
    while (top->parentWidget() && !top->isWindow() && !qobject_cast<QMdiSubWindow*>(top))
        top = top->parentWidget();
    const QString title = top->windowTitle().remove(QStringLiteral("[*]"));
    if (title.trimmed().isEmpty())
        return {};
    QFont font = QApplication::font();
    font.setBold(true);
    const int need = QFontMetrics(font).horizontalAdvance(title) + kTitleBarRoom;
    const int width = std::max(top->width(), top->isVisible() ? 0 : top->sizeHint().width());
    if (need <= width)
        return {};
    return {QStringLiteral("title \"%1\": the window is %2 pixels wide, the title bar needs %3")
                .arg(title)
                .arg(width)
                .arg(need)
                .toStdString()};
}

} // namespace testkit

namespace testkit {

namespace {

std::vector<ui::GridView*> gridsOf(QWidget& window)
{
    std::vector<ui::GridView*> grids;
    if (auto* self = qobject_cast<ui::GridView*>(&window))
        grids.push_back(self);
    for (ui::GridView* g : window.findChildren<ui::GridView*>())
        grids.push_back(g);
    return grids;
}

QString gridName(const ui::GridView& grid)
{
    return grid.objectName().isEmpty() ? QString::fromLatin1(grid.metaObject()->className()) : grid.objectName();
}

} // namespace

std::vector<std::string> clippedHeaders(QWidget& window)
{
    window.ensurePolished();
    std::vector<std::string> out;
    for (ui::GridView* grid : gridsOf(window)) {
        QHeaderView* header = grid->tree()->header();
        if (header->isHidden() && header->testAttribute(Qt::WA_WState_ExplicitShowHide))
            continue; // switched off, not merely not shown yet
        header->ensurePolished();
        const QFontMetrics fm = header->fontMetrics();
        const int height = std::max(header->height(), header->sizeHint().height());
        for (int column = 0; column < grid->model().columns(); ++column) {
            const int width = header->sectionSize(column);
            if (header->isSectionHidden(column) || width <= 0)
                continue;
            const QString text = grid->model().columnName(column);
            int widest = 0;
            for (const QString& line : text.split(QLatin1Char('\n')))
                widest = std::max(widest, fm.horizontalAdvance(line));
            if (widest == 0)
                continue;
            QStyleOptionHeader opt;
            opt.initFrom(header);
            opt.text = text;
            opt.orientation = Qt::Horizontal;
            opt.state |= QStyle::State_Horizontal;
            opt.sortIndicator = QStyleOptionHeader::SortDown;
            opt.rect = QRect(0, 0, width, height);
            const int room = header->style()->subElementRect(QStyle::SE_HeaderLabel, &opt, header).width();
            if (widest > room)
                out.push_back(QStringLiteral("%1 column %2 \"%3\": %4 pixels for the text, it needs %5")
                                  .arg(gridName(*grid))
                                  .arg(column)
                                  .arg(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')))
                                  .arg(room)
                                  .arg(widest)
                                  .toStdString());
        }
    }
    return out;
}

namespace {

// The headers of the window's plain lists (not a GridView's, which the
// check above reads by its model): each shown section's text with the
// style's header margins.
void clippedPlainHeaders(QWidget& window, std::vector<std::string>& out)
{
    const QList<QTreeView*> trees = window.findChildren<QTreeView*>();
    for (QTreeView* tree : trees) {
        if (qobject_cast<ui::GridView*>(tree->parentWidget()) || tree->isHeaderHidden() || !tree->isVisibleTo(&window))
            continue;
        bool inGrid = false;
        for (QWidget* p = tree->parentWidget(); p && !inGrid; p = p->parentWidget())
            inGrid = qobject_cast<ui::GridView*>(p) != nullptr;
        if (inGrid || !tree->model())
            continue;
        QHeaderView* header = tree->header();
        const QFontMetrics fm = header->fontMetrics();
        for (int section = 0; section < header->count(); ++section) {
            const int width = header->sectionSize(section);
            if (header->isSectionHidden(section) || width <= 0)
                continue;
            const QString text = tree->model()->headerData(section, Qt::Horizontal).toString();
            if (text.isEmpty())
                continue;
            QStyleOptionHeader opt;
            opt.initFrom(header);
            const int need =
                fm.horizontalAdvance(text) + 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, &opt, header);
            if (need > width)
                out.push_back(QStringLiteral("%1 column %2 \"%3\": %4 pixels, it needs %5")
                                  .arg(tree->objectName().isEmpty() ? QString::fromLatin1(tree->metaObject()->className())
                                                                    : tree->objectName())
                                  .arg(section)
                                  .arg(text)
                                  .arg(width)
                                  .arg(need)
                                  .toStdString());
        }
    }
}

} // namespace

std::vector<std::string> clippedCells(QWidget& window)
{
    window.ensurePolished();
    std::vector<std::string> out;
    for (ui::GridView* grid : gridsOf(window)) {
        QTreeView* tree = grid->tree();
        tree->ensurePolished();
        // The item view's text margin on each side.
        const int margin = 2 * (tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1);
        const ui::GridModel& model = grid->model();
        int rows = 0;
        for (int rowId : grid->shownRows()) {
            if (++rows > 300)
                break;
            for (int column = 0; column < model.columns(); ++column) {
                const int width = grid->columnWidth(column);
                if (grid->isColumnHidden(column) || width <= 0 || model.mergeAt(rowId, column))
                    continue;
                if (model.isAutoGroup(rowId) || model.isGroup(rowId))
                    continue; // a group row's caption runs across the row
                const QString text = model.text(rowId, column);
                if (text.trimmed().isEmpty())
                    continue;
                const QFont* own = model.font(rowId, column);
                const QFontMetrics fm(own ? *own : tree->font());
                int need = widestLine(fm, text) + margin;
                if (tree->header()->visualIndex(column) == 0) {
                    // The first column is indented by the row's depth.
                    int depth = tree->rootIsDecorated() ? 1 : 0;
                    for (int p = model.parentOf(rowId); p != ui::GridModel::kRoot; p = model.parentOf(p))
                        ++depth;
                    need += depth * tree->indentation();
                }
                if (need > width)
                    out.push_back(QStringLiteral("%1 column %2 \"%3\": %4 pixels for \"%5\", it needs %6")
                                      .arg(gridName(*grid))
                                      .arg(column)
                                      .arg(oneLine(model.columnName(column)))
                                      .arg(width)
                                      .arg(text)
                                      .arg(need)
                                      .toStdString());
            }
        }
    }
    return out;
}

std::vector<std::string> textsThatDoNotFit(QWidget& window)
{
    std::vector<std::string> out = clippedTitle(window);
    for (auto part : {clippedTexts(window), clippedHeaders(window), clippedCells(window)})
        out.insert(out.end(), part.begin(), part.end());
    clippedPlainHeaders(window, out);
    return out;
}

std::vector<std::string> unreadableGridCells(QWidget& window, double minimum,
                                             const std::vector<ColourPair>& usersChoice)
{
    std::vector<std::string> out;
    std::set<std::string> reported;
    for (ui::GridView* grid : gridsOf(window))
        for (const CellColours& c : cellColours(*grid)) {
            if (c.ratio >= minimum)
                continue;
            const std::string line = QStringLiteral("%1 column %2 \"%3\": %4 on %5, %6:1")
                                         .arg(gridName(*grid), grid->model().columnName(c.column), c.text,
                                              c.fore.name(), c.back.name())
                                         .arg(c.ratio, 0, 'f', 2)
                                         .toStdString();
            const bool users = std::any_of(usersChoice.begin(), usersChoice.end(), [&](const ColourPair& p) {
                return p.fore.rgb() == c.fore.rgb() && (!p.back.isValid() || p.back.rgb() == c.back.rgb());
            });
            if (!users)
                out.push_back(line);
            else if (reported.insert(c.fore.name().toStdString() + c.back.name().toStdString()).second)
                std::printf("the user's colours, reported only: %s\n", line.c_str());
        }
    return out;
}

} // namespace testkit

namespace testkit {

namespace {

// The strongest contrast between a pixel of the text in `area` and the
// pixel under it (the same place painted without texts); 1 when no pixel of
// the text shows at all.
double strongestContrast(const QImage& shown, const QImage& bare, const QRect& area)
{
    double best = 1;
    const QRect r = area.intersected(shown.rect()).intersected(bare.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (shown.pixel(x, y) != bare.pixel(x, y))
                best = std::max(best, contrastRatio(shown.pixelColor(x, y), bare.pixelColor(x, y)));
    return best;
}

} // namespace

std::vector<std::string> unreadablePaintedTexts(QWidget& root, double minimum)
{
    root.ensurePolished();
    // The whole window painted twice, as it is and with every text
    // transparent: what differs is text, and what lies under it is what the
    // user reads it on (a checked button's face, a bar's colour).
    const QImage shown = root.grab().toImage();
    const QString kept = root.styleSheet();
    root.setStyleSheet(kept + QLatin1String("* { color: transparent; }"
                                            " QTabBar::tab, QTabBar::tab:selected, QTabBar::tab:!selected"
                                            " { color: transparent; }"));
    const QImage bare = root.grab().toImage();
    root.setStyleSheet(kept);
    std::vector<std::string> out;
    const auto check = [&](QWidget* w, const QRect& local, const QString& text, bool checked) {
        if (!w->isVisible() || text.trimmed().isEmpty() || local.isEmpty())
            return;
        const double ratio =
            strongestContrast(shown, bare, QRect(w->mapTo(&root, local.topLeft()), local.size()));
        if (ratio < minimum)
            out.push_back(QStringLiteral("%1 \"%2\"%3: %4:1")
                              .arg(QString::fromLatin1(w->metaObject()->className()),
                                   QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')),
                                   checked ? QStringLiteral(" (checked)") : QString())
                              .arg(ratio, 0, 'f', 2)
                              .toStdString());
    };
    for (QToolButton* b : root.findChildren<QToolButton*>())
        check(b, b->rect(), b->text().remove(QLatin1Char('&')), b->isChecked());
    for (QLabel* l : root.findChildren<QLabel*>())
        check(l, l->rect(), l->text(), false);
    for (QTabBar* t : root.findChildren<QTabBar*>())
        for (int i = 0; i < t->count(); ++i)
            check(t, t->tabRect(i), t->tabText(i).remove(QLatin1Char('&')), i == t->currentIndex());
    return out;
}

} // namespace testkit
