#include "frame/controls/CMyGridCtrl.h"

#include "app/base/AppSettings.h"
#include "pf/log.h"

#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QPixmap>
#include <QTreeView>

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace {

// The number at the front of a text, as a C reader of decimal text would take
// it: leading blanks skipped, trailing text ignored, 0 when there is none.
// Independent of the process locale.
double LeadingDouble(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    if (p < end && *p == '+')
        ++p;
    double v = 0;
    const auto r = std::from_chars(p, end, v);
    return r.ec == std::errc() ? v : 0.0;
}

long long LeadingInteger(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
    if (p < end && *p == '+')
        ++p;
    long long v = 0;
    const auto r = std::from_chars(p, end, v);
    return r.ec == std::errc() ? v : 0;
}

int Sign(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

} // namespace

CMyGridCtrl::CMyGridCtrl(QWidget* parent) : ui::GridView(parent)
{
    // Marks the sorted column, as every program grid does.
    tree()->header()->setSortIndicatorShown(true);
}

CMyGridCtrl::~CMyGridCtrl() = default;

bool CMyGridCtrl::LoadGridState(const std::string& section)
{
    m_stateSection = section;
    return loadLayout(m_stateSection);
}

bool CMyGridCtrl::SaveGridState() { return !m_stateSection.empty() && saveLayout(m_stateSection); }

int CMyGridCtrl::CompareTexts(const QString& a, const QString& b, int column, bool ascending)
{
    int r;
    if (column <= 3) {
        const QByteArray x = a.toUtf8();
        const QByteArray y = b.toUtf8();
        r = Sign(std::strcmp(x.constData(), y.constData()));
    } else {
        const double x = LeadingDouble(a), y = LeadingDouble(b);
        r = x < y ? -1 : (x > y ? 1 : 0);
    }
    return ascending ? r : -r;
}

bool CMyGridCtrl::TextFilterHides(const QString& cellText, const QString& filter)
{
    const QString cell = cellText.toLower();
    const QStringList pieces = filter.toLower().split(QStringLiteral("or"));
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i) {
        const QString piece = pieces[i].trimmed();
        if (!piece.isEmpty() && cell.contains(piece))
            return false;
    }
    const QString last = pieces.back().trimmed();
    if (last.isEmpty() && pieces.size() > 1)
        return true;
    return !cell.contains(last);
}

bool CMyGridCtrl::NumberFilterHides(const QVariant& cellValue, const QString& filter)
{
    long long value = 0;
    switch (cellValue.typeId()) {
    case QMetaType::Int:
        value = cellValue.toInt();
        break;
    case QMetaType::UInt:
        value = cellValue.toUInt();
        break;
    default:
        value = 0; // any other kind counts as 0
        break;
    }
    qsizetype start = 0;
    while (start < filter.size()) {
        const QChar c = filter[start];
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('<') && c != QLatin1Char('>') &&
            c != QLatin1Char('='))
            break;
        ++start;
    }
    const QString rest = filter.mid(start);
    if (rest.isEmpty())
        return false;
    const long long n = LeadingInteger(rest);
    if (filter.contains(QLatin1Char('<')))
        return !(value < n);
    if (filter.contains(QLatin1Char('>')))
        return !(value > n);
    return value != n;
}

std::optional<int> CMyGridCtrl::ScaledColumnWidth(int fontHeight, int column, const QString& name,
                                                  const std::vector<QString>& cellTexts)
{
    if (column == 3)
        return std::nullopt;
    const int f = std::abs(fontHeight) + 1;
    const int n = int(name.size());
    int m;
    if (column <= 3 && n < 7)
        m = f - 3;
    else if (n > 10)
        m = f - 6;
    else
        m = f - 5;
    int width = n * m > 0 ? n * m : 0;
    if (column == 2)
        return cellTexts.empty() ? width : f + 10;
    for (const QString& text : cellTexts) {
        const int l = int(text.size());
        int w;
        if (column == 0)
            w = l > 15 ? l * (f - 5) : l * (f - 4);
        else if (column == 1)
            w = l * (f - 2);
        else if (l > 10)
            w = l * (f - 6);
        else if (l >= 6)
            w = l * (f - 5);
        else
            w = l * (f - 3);
        width = std::max(width, w);
    }
    return width;
}

void CMyGridCtrl::SetFontScaledColumnWidths(bool on)
{
    m_fontScaledWidths = on;
    if (on) {
        applyScaledWidths();
        tree()->header()->setSectionResizeMode(QHeaderView::Interactive);
    } else {
        tree()->header()->setSectionResizeMode(QHeaderView::Stretch); // columns share the width
    }
}

void CMyGridCtrl::applyScaledWidths()
{
    const ui::GridModel& m = model();
    const std::vector<int> rows = m.preorder();
    for (int col = 0; col < m.columns(); ++col) {
        std::vector<QString> texts;
        texts.reserve(rows.size());
        for (int id : rows)
            texts.push_back(m.text(id, col));
        if (const std::optional<int> w =
                ScaledColumnWidth(g_AppSettings.grid_font.height, col, m.columnName(col), texts))
            setColumnWidth(col, *w);
    }
}

void CMyGridCtrl::SetDataIconSet(int set, int /*value*/)
{
    m_dataIconSet = set;
    static const int kBitmaps[3] = {275, 276, 286};
    if (set == -1) {
        setDataIcons({});
        return;
    }
    if (set < 0 || set > 2)
        return;
    // A strip of 16 x 16 images; without the artwork the grid shows no icons.
    const QString path = QStringLiteral(":/toolbars/toolbar_%1.png").arg(kBitmaps[set]);
    const QImage strip(path);
    if (strip.isNull()) {
        pf::logLine(0, "Data icon set " + std::to_string(set) + " has no image strip; no icons shown");
        setDataIcons({});
        return;
    }
    QList<QIcon> icons;
    for (int x = 0; x + 16 <= strip.width(); x += 16)
        icons << QIcon(QPixmap::fromImage(strip.copy(x, 0, 16, 16)));
    setDataIcons(icons);
}

void CMyGridCtrl::onHeaderColumnClick(int column)
{
    m_headerClickValue = 0;
    ui::GridView::onHeaderColumnClick(column);
}

int CMyGridCtrl::compareRows(int rowA, int rowB, int column) const
{
    if (m_compareMode == 0)
        return CompareTexts(model().text(rowA, column), model().text(rowB, column), column, m_ascending);
    if (m_compareMode == 1) {
        bool handled = false;
        const int r =
            GridRules::CompareOrderRecords(m_orderFields, GridRules::OrderRecordIndex(model(), rowA),
                                           GridRules::OrderRecordIndex(model(), rowB), column, m_ascending, &handled);
        if (handled)
            return r;
    }
    return ui::GridView::compareRows(rowA, rowB, column);
}

bool CMyGridCtrl::isRowHiddenByFilterBar(int rowId, int column, const QString& filter) const
{
    if (m_compareMode == 1) {
        bool handled = false;
        const bool hidden = GridRules::FilterBarHides(model(), rowId, column, filter, &handled);
        if (handled)
            return hidden;
    }
    return ui::GridView::isRowHiddenByFilterBar(rowId, column, filter);
}

namespace GridRules {

int OrderRecordIndex(const ui::GridModel& model, int rowId)
{
    const int* index = model.rowDataAs<int>(rowId);
    return index ? *index : -1;
}

int CompareOrderRecords(const OrderFieldReader& reader, int indexA, int indexB, int column, bool ascending,
                        bool* handled)
{
    *handled = false;
    if (column != 3 && column != 7 && column != 8)
        return 0;
    *handled = true;
    if (!reader || indexA < 0 || indexB < 0)
        return 0;
    const std::optional<double> a = reader(indexA, column);
    const std::optional<double> b = reader(indexB, column);
    if (!a || !b)
        return 0; // outside the store: equal, never read past it
    const int r = *a < *b ? -1 : (*a > *b ? 1 : 0);
    return ascending ? r : -r;
}

bool FilterBarHides(const ui::GridModel& model, int rowId, int column, const QString& filter, bool* handled)
{
    *handled = true;
    if (column == 0)
        return CMyGridCtrl::TextFilterHides(model.text(rowId, 0), filter);
    if (column >= 6 && column <= 9)
        return CMyGridCtrl::NumberFilterHides(model.value(rowId, column), filter);
    *handled = false;
    return false;
}

} // namespace GridRules
