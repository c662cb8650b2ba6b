#include "ui/text_fit.h"

#include <QApplication>
#include <QAbstractItemModel>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTreeView>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace ui {

int titleBarWidth(const QString& title)
{
    if (title.trimmed().isEmpty())
        return 0;
    QFont font = QApplication::font();
    font.setBold(true);
    return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(title))) + kTitleBarRoom;
}

void keepTitleWhole(QWidget& window)
{
    const int need = titleBarWidth(QString(window.windowTitle()).remove(QStringLiteral("[*]")));
    if (need > window.minimumWidth())
        window.setMinimumWidth(std::min(need, window.maximumWidth()));
}

void fitHeaderSections(QHeaderView& header)
{
    header.ensurePolished();
    QAbstractItemModel* model = header.model();
    if (!model)
        return;
    const QFontMetrics fm = header.fontMetrics();
    for (int section = 0; section < header.count(); ++section) {
        if (header.isSectionHidden(section) || header.sectionSize(section) <= 0)
            continue;
        const QString text = model->headerData(section, header.orientation()).toString();
        if (text.isEmpty())
            continue;
        QStyleOptionHeader opt;
        opt.initFrom(&header);
        opt.text = text;
        opt.section = section;
        opt.orientation = header.orientation();
        // The size the style gives the section for its text, margins and
        // sort mark included.
        const QSize need = header.style()->sizeFromContents(QStyle::CT_HeaderSection, &opt, QSize(), &header);
        const int width = std::max(need.width(), fm.horizontalAdvance(text) + 2 * header.style()->pixelMetric(
                                                                               QStyle::PM_HeaderMargin, &opt, &header));
        if (header.sectionSize(section) < width)
            header.resizeSection(section, width);
    }
}

void widenColumnToContents(QTreeView& view, int column, int least)
{
    view.resizeColumnToContents(column);
    view.setColumnWidth(column, std::max(least, view.columnWidth(column)));
}

DialogUnits dialogUnitsFor(const QFont& font)
{
    // The average character as the templates' system measured it: the
    // letters of both cases.
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetricsF fm(font);
    DialogUnits units;
    units.x = std::max(units.x, fm.horizontalAdvance(letters) / letters.size());
    units.y = std::max(units.y, std::ceil(fm.height()));
    return units;
}

} // namespace ui
