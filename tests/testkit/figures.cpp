#include "testkit/figures.h"

#include "ui/grid_model.h"
#include "ui/grid_view.h"

#include <QRegularExpression>
#include <QStringList>

#include <map>

namespace testkit {

namespace {

bool currencyRow(const ui::GridModel& m, int rowId)
{
    static const QStringList kCurrency = {"NSE-FX", "BSE-CDX", "MCX-SX", "CN", "CB", "CM"};
    for (int c = 0; c < m.columns(); ++c)
        if (kCurrency.contains(m.text(rowId, c).trimmed()))
            return true;
    return false;
}

bool ownDecimals(const QString& header)
{
    static const QRegularExpression own(QStringLiteral("\\b(rate|multiplier|percent|spread benefit|time|date|no)\\b|%"));
    return own.match(header.toLower().simplified()).hasMatch();
}

} // namespace

namespace {

std::vector<std::string> walk(const ui::GridView& grid, int forced)
{
    const ui::GridModel& m = grid.model();
    static const QRegularExpression number(QStringLiteral("^-?\\d+(\\.(\\d+))?$"));
    std::vector<int> rows;
    for (int id : m.preorder())
        if (!m.isAutoGroup(id))
            rows.push_back(id);
    std::vector<bool> money(size_t(m.columns()), false);
    for (int id : rows)
        for (int c = 0; c < m.columns(); ++c)
            if (number.match(m.text(id, c).trimmed()).captured(2).size() > 0)
                money[size_t(c)] = true;
    bool allCurrency = true, any = false;
    for (int id : rows)
        if (!m.text(id, 0).contains(QStringLiteral("Total"), Qt::CaseInsensitive)) {
            any = true;
            allCurrency = allCurrency && currencyRow(m, id);
        }
    allCurrency = allCurrency && any;
    std::vector<std::string> out;
    for (int id : rows) {
        const bool total = m.text(id, 0).contains(QStringLiteral("Total"), Qt::CaseInsensitive);
        const int want = forced > 0 ? forced : (total ? allCurrency : currencyRow(m, id)) ? 4 : 2;
        for (int c = 0; c < m.columns(); ++c) {
            if (!money[size_t(c)] || ownDecimals(m.columnName(c)))
                continue;
            const QString text = m.text(id, c).trimmed();
            const QRegularExpressionMatch match = number.match(text);
            if (!match.hasMatch())
                continue; // "-", "NA", names
            if (match.captured(2).size() != want || (text.startsWith(QLatin1Char('-')) && text.toDouble() == 0))
                out.push_back(QStringLiteral("row \"%1\" column \"%2\": \"%3\", %4 decimals wanted")
                                  .arg(m.text(id, 0), m.columnName(c).simplified(), text)
                                  .arg(want)
                                  .toStdString());
        }
    }
    return out;
}

} // namespace

std::vector<std::string> wrongDecimals(const ui::GridView& grid)
{
    return walk(grid, 0);
}

std::vector<std::string> wrongDecimals(const ui::GridView& grid, int decimals)
{
    return walk(grid, decimals);
}

} // namespace testkit
