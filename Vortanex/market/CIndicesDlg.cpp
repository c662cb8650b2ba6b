#include "market/MarketFeed.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityTable.h"

#include "market/CIndicesDlg.h"

#include "app/base/AppSettings.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "market/IndexDisplay.h"
#include "market/MarketHooks.h"
#include "server/FeedState.h"

#include "pf/files.h"
#include "ui/prompter.h"
#include "ui/rgb.h"
#include "ui/theme_manager.h"
#include "ui/ticker.h"

#include <QApplication>
#include <QResizeEvent>
#include <QFontMetrics>
#include <QStyle>
#include <QToolButton>

#include <cstring>
#include <filesystem>

struct CIndicesDlg::Box {
    std::shared_ptr<IndexTicks> ticks = std::make_shared<IndexTicks>();
};

namespace indices_dlg_detail {
namespace {

CIndicesDlg* g_bar = nullptr; // UI thread

std::string userId()
{
    return std::string(FixedTextView(pv_user_info.user_id));
}

std::string nameOf(const IndexRecord& r)
{
    return std::string(r.name, strnlen(r.name, sizeof r.name));
}

} // namespace
} // namespace indices_dlg_detail

CIndicesDlg::CIndicesDlg(QWidget* parent) : QDockWidget("Indices", parent), m_box(std::make_shared<Box>())
{
    setObjectName("CIndicesDlg");
    indices_dlg_detail::g_bar = this;
    m_content = new QWidget(this);
    m_content->setMinimumHeight(kCompactHeight);
    setWidget(m_content);
    for (size_t i = 0; i < 4; ++i) {
        auto* b = new QToolButton(m_content);
        b->setObjectName(QString::number(kButtonIds[i]));
        b->setText("INDEX1");
        b->setAutoRaise(false);
        const int button = static_cast<int>(i) + 1;
        connect(b, &QToolButton::clicked, this, [this, button] { OnBtnIndex(button); });
        // A right click offers the same commands as the button's own menu.
        b->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(b, &QWidget::customContextMenuRequested, this, [this, button](const QPoint& at) {
            OnBtnIndex(button, m_buttons[static_cast<size_t>(button - 1)]->mapToGlobal(at));
        });
        m_buttons[i] = b;
    }
    m_ticker = new ui::Ticker(this);
    m_ticker->onTick = [this](int) { OnTimer(); };
}

CIndicesDlg::~CIndicesDlg()
{
    if (indices_dlg_detail::g_bar == this) {
        indices_dlg_detail::g_bar = nullptr;
        MarketFeed::setIndexSink(MarketFeed::IndicesBar, nullptr);
    }
}

CIndicesDlg* CIndicesDlg::instance()
{
    return indices_dlg_detail::g_bar;
}

bool CIndicesDlg::OnInitDialog(bool rewrite)
{
    try {
        for (QToolButton* b : m_buttons)
            b->setEnabled(true);
        SetButtonFont();
        m_index = {-1, -1, -1, -1};
        SetIndices();
        if (rewrite)
            SaveIndices();
        m_ticker->start(kTimerId, kTimerMs);
        if (isVisible())
            MarketFeed::setIndexSink(MarketFeed::IndicesBar, m_box->ticks);
        return true;
    } catch (...) {
        WriteLog(0, "Exception in Indices init.");
        return false;
    }
}

void CIndicesDlg::SetIndices()
{
    int step = 0, n = 0;
    try {
        const std::vector<IndexRecord> indices = IndexTable::instance().entries();
        for (n = 1; n <= 4; ++n) {
            step = 1;
            for (const IndexRecord& r : indices)
                if (r.button == n) {
                    m_index[static_cast<size_t>(n - 1)] = r.number;
                    UpdateIndexData(r);
                    break;
                }
        }
        step = 2;
        if (!m_inSize)
            RebuildIndexTokens();
    } catch (...) {
        WriteLog(0, formatText("Exception in SetIndices at [%d - %d].", step, n));
    }
}

void CIndicesDlg::UpdateIndexData(const IndexRecord& index)
{
    try {
        if (index.button < 1 || index.button > 4 || !m_layoutReady)
            return;
        showIndex(index.button, index);
    } catch (...) {
        WriteLog(0, formatText("Exception in UpdateIndexData [%d] Last Error [0] for Indice [%s]", index.number,
                               indices_dlg_detail::nameOf(index).c_str()));
    }
}

void CIndicesDlg::showIndex(int button, const IndexRecord& index)
{
    const size_t b = static_cast<size_t>(button - 1);
    const double v = index.values[0] == 0 ? 0.0 : index.values[0] / 100;
    const int image = IndexButtonImage(m_lastValue[b], v);
    m_lastValue[b] = v;
    m_image[b] = image;
    if (!IsLoggedIn())
        return;
    QToolButton* btn = m_buttons[b];
    btn->setText(QString::fromStdString(IndexButtonText(index, m_compact)));
    // The whole text, whatever the button's size.
    btn->setToolTip(QString::fromStdString(IndexButtonText(index, false)));
    // A fall takes the user's falling colour, a rise the bar's blue; the text
    // is whichever of black or white reads on it.
    QString style;
    const auto coloured = [](const QColor& back) {
        return QString("background-color: %1; color: %2;").arg(back.name(), ui::ThemeManager::textOn(back).name());
    };
    if (image == 253)
        style = coloured(ui::toQColor(ui::rgbOf(g_AppSettings.down_back_colour)));
    else if (image == 254)
        style = coloured(ui::toQColor(ui::rgbOf(0xFF7814)));
    btn->setStyleSheet(style);
    btn->setProperty("directionImage", image);
}

void CIndicesDlg::RebuildIndexTokens()
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    const std::vector<IndexRecord> indices = IndexTable::instance().entries();
    const auto table = SecurityTable::current();
    const std::string chart = subs.chartIndexTokenList();
    std::string list;
    int count = 0;
    for (int n : m_index) {
        if (n < 0 || static_cast<size_t>(n) >= indices.size())
            continue;
        const int security = indices[static_cast<size_t>(n)].securityIndex;
        if (!table || !table->valid(security))
            continue;
        const std::string item = std::to_string(table->row(security).wtoken) + ",";
        if (("," + chart).find("," + item) != std::string::npos)
            continue;
        list += item;
        ++count;
    }
    if (subs.chartIndexTokenCount() > 0) {
        list += chart;
        count += subs.chartIndexTokenCount();
    }
    subs.SetIndexTokenList(list, count);
    UpdateTokensThread(1);
}

bool CIndicesDlg::SaveIndices()
{
    try {
        const std::vector<IndexRecord> indices = IndexTable::instance().entries();
        std::array<int, 4> ids{};
        for (size_t b = 0; b < 4; ++b) {
            const int n = m_index[b];
            ids[b] = n >= 0 && static_cast<size_t>(n) < indices.size() ? indices[static_cast<size_t>(n)].feedCode : 0;
        }
        const auto path = IndicesFilePath(ProgramPaths().data(), indices_dlg_detail::userId());
        if (!pf::files::writeAtomic(path, IndicesLine(ids))) {
            MyMessageBox("Unable to save data", "Error !!!", 48);
            return false;
        }
        // A setting of the user's: readable by the user only.
        std::error_code ec;
        std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::replace, ec);
        return true;
    } catch (...) {
        WriteLog(0, "Exception [0] : While saving data");
        return false;
    }
}

void CIndicesDlg::OnBtnIndex(int button, std::optional<QPoint> where)
{
    int step = 0;
    try {
        if (button < 1 || button > 4)
            return;
        const std::vector<IndexRecord> indices = IndexTable::instance().entries();
        ui::MenuSpec menu;
        menu.items = {{ID_INDEX_INTRADAY_CHART, "&Intraday Chart", false, true, {}},
                      {ID_INDEX_DERIVATIVE_CHAIN, "Derivative &Chain", false, true, {}},
                      {0, "", false, true, {}}};
        for (const IndexRecord& r : indices)
            menu.items.push_back(
                {kIndexEntryBase + r.number, indices_dlg_detail::nameOf(r), r.button >= 1 && r.button <= 4, true, {}});
        QToolButton* b = m_buttons[static_cast<size_t>(button - 1)];
        const QPoint at = where ? *where : b->mapToGlobal(QPoint(0, b->height()));
        step = 1;
        const int chosen = ui::prompter().pickMenuCommand(menu, at.x(), at.y());
        const int own = m_index[static_cast<size_t>(button - 1)];
        if (chosen == ID_INDEX_INTRADAY_CHART) {
            if (own >= 0)
                OpenIndexChart(own);
            return;
        }
        if (chosen == ID_INDEX_DERIVATIVE_CHAIN) {
            if (own >= 0)
                OpenIndexChain(own);
            return;
        }
        const int n = chosen - kIndexEntryBase;
        if (chosen < kIndexEntryBase || n >= static_cast<int>(indices.size()))
            return;
        step = 2;
        if (indices[static_cast<size_t>(n)].button >= 1 && indices[static_cast<size_t>(n)].button <= 4) {
            MsgBoxOk("Index is already selected");
            return;
        }
        step = 3;
        IndexTable& table = IndexTable::instance();
        for (const IndexRecord& r : indices)
            if (r.button == button)
                table.change(r.number, [](IndexRecord& e) { e.button = -1; });
        table.change(n, [button](IndexRecord& e) { e.button = button; });
        m_index[static_cast<size_t>(button - 1)] = n;
        m_lastValue[static_cast<size_t>(button - 1)] = 0;
        step = 4;
        IndexRecord after = table.entries()[static_cast<size_t>(n)];
        UpdateIndexData(after);
        RebuildIndexTokens();
        SaveIndices();
    } catch (...) {
        WriteLog(0, formatText("Exception in OnBtnIndex%d while setting Index [%d]", button, step));
    }
}

void CIndicesDlg::SetButtonFont()
{
    for (QToolButton* b : m_buttons)
        b->setFont(QApplication::font());
}

void CIndicesDlg::FloatBar(const QRect& v)
{
    const QRect b = geometry();
    setFloating(true);
    setGeometry(QRect(QPoint(v.right() - 80 - b.width(), v.top() + 53), QPoint(v.right() - 5, b.bottom() + 55)));
}

void CIndicesDlg::OnTimer()
{
    m_box->ticks->drain([this](int, IndexRecord& r) {
        // The button numbers belong to the table; the broadcast's copy may be older.
        for (size_t b = 0; b < 4; ++b)
            if (m_index[b] == r.number) {
                r.button = static_cast<int>(b) + 1;
                UpdateIndexData(r);
            }
    });
}

int CIndicesDlg::fullTextHeight() const
{
    // Four lines and the button's frame and margins above and below them.
    return 4 * QFontMetrics(QApplication::font()).lineSpacing() + 8;
}

int CIndicesDlg::dockHeight() const
{
    // The title bar: a line of text between the style's title margins.
    const int title = fontMetrics().height() + 2 * style()->pixelMetric(QStyle::PM_DockWidgetTitleMargin, nullptr, this) + 4;
    return fullTextHeight() + title;
}

void CIndicesDlg::applySize(int width, int height)
{
    m_inSize = true;
    m_layoutReady = false;
    try {
        const bool vertical = height > width;
        for (size_t i = 0; i < 4; ++i) {
            const int k = static_cast<int>(i);
            if (vertical)
                m_buttons[i]->setGeometry(0, k * height / 4, width, height / 4);
            else
                m_buttons[i]->setGeometry(k * width / 4, 0, width / 4, height);
        }
        SetButtonFont();
        const int buttonHeight = vertical ? height / 4 : height;
        m_compact = buttonHeight <= kCompactHeight || buttonHeight < fullTextHeight();
        m_layoutReady = true;
        SetIndices();
        SetButtonFont();
    } catch (...) {
        WriteLog(0, "Exception in OnSize(CID)");
    }
    m_layoutReady = true;
    m_inSize = false;
}

void CIndicesDlg::resizeEvent(QResizeEvent* event)
{
    QDockWidget::resizeEvent(event);
    if (m_content)
        applySize(m_content->width(), m_content->height());
}

void CIndicesDlg::showEvent(QShowEvent* event)
{
    QDockWidget::showEvent(event);
    MarketFeed::setIndexSink(MarketFeed::IndicesBar, m_box->ticks);
}

void CIndicesDlg::hideEvent(QHideEvent* event)
{
    QDockWidget::hideEvent(event);
    MarketFeed::setIndexSink(MarketFeed::IndicesBar, nullptr);
}

bool UpdateIndices()
{
    int step = 0;
    try {
        IndexTable& table = IndexTable::instance();
        const std::vector<IndexRecord> indices = table.entries();
        const auto securities = SecurityTable::current();
        std::vector<int> watchTokens;
        for (const IndexRecord& r : indices)
            watchTokens.push_back(securities && securities->valid(r.securityIndex)
                                      ? securities->row(r.securityIndex).wtoken
                                      : 0);
        step = 1;
        std::optional<std::vector<int>> entries;
        const auto path = IndicesFilePath(ProgramPaths().data(), std::string(FixedTextView(pv_user_info.user_id)));
        if (auto text = pf::files::readAll(path)) {
            const std::string line = text->substr(0, std::min<size_t>(text->find('\n'), 512));
            if (!line.empty())
                entries = ReadIndicesLine(line);
        }
        step = 2;
        const BarChoice choice = ChooseBarIndices(indices, watchTokens, entries);
        for (const std::string& line : choice.notFound)
            WriteLog(0, line);
        step = 3;
        for (const IndexRecord& r : indices)
            table.change(r.number, [](IndexRecord& e) { e.button = -1; });
        for (size_t place = 0; place < 4; ++place)
            if (choice.indexNumbers[place] >= 0)
                table.change(choice.indexNumbers[place],
                             [place](IndexRecord& e) { e.button = static_cast<int>(place) + 1; });
        return choice.rewrite;
    } catch (...) {
        WriteLog(0, formatText("Exception in UpdateIndices at %d", step));
        return true;
    }
}
