#include "frame/COutputBar.h"

#include "app/base/AppSettings.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "frame/controls/CMyListCtrl.h"
#include "server/AlertSound.h"

#include "pf/clock.h"
#include "ui/ui_thread.h"

#include <algorithm>

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QTabWidget>

std::atomic<long> g_MessagesShown{0};

namespace {

const char* const kTabTitles[4] = {"Trading", "Exchange", "General", "Research Call"};
const char* const kColumnTitles[4] = {"Trading", "Exchange", "General", "General"};

// The kinds' icons: a coloured square with the kind's letter.
QIcon kindIcon(int kind)
{
    static const QColor colours[4] = {QColor(17, 101, 187), QColor(205, 0, 0), QColor(90, 90, 90),
                                      QColor(0, 140, 60)};
    static const char letters[4] = {'T', 'E', 'G', 'R'};
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(colours[kind - 1]);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString(QChar(letters[kind - 1])));
    return QIcon(pm);
}

QFont fontOfSettings()
{
    const LogFontRecord& lf = g_AppSettings.grid_font;
    QFont f(QString::fromLatin1(lf.face_name, int(strnlen(lf.face_name, sizeof lf.face_name))));
    if (lf.height != 0)
        f.setPixelSize(lf.height < 0 ? -lf.height : lf.height);
    f.setBold(lf.weight >= 600);
    f.setItalic(lf.italic != 0);
    return f;
}

} // namespace

COutputBar::COutputBar(QWidget* parent) : ui::DockPane("Messages", parent), m_shared(std::make_shared<Shared>())
{
    setObjectName("Messages");
    m_wndTabs = new QTabWidget(this);
    m_wndTabs->setTabPosition(QTabWidget::South);
    for (int kind = 1; kind <= 4; ++kind) {
        m_icons[size_t(kind - 1)] = kindIcon(kind);
        auto* list = new CMyNewListCtrl(m_wndTabs);
        list->model().setColumns({QStringLiteral("Date"), QString::fromLatin1(kColumnTitles[kind - 1])});
        // The widths were laid out for a font whose digits are 5 pixels wide.
        const double scale = std::max(1.0, list->fontMetrics().horizontalAdvance('0') / 5.0);
        list->setColumnWidth(0, int(kDateWidth * scale));
        list->setColumnWidth(1, int(kMessageWidth * scale));
        list->setDataIcons({m_icons[0], m_icons[1], m_icons[2], m_icons[3]});
        m_lists[size_t(kind - 1)] = list;
        m_wndTabs->addTab(list, m_icons[size_t(kind - 1)], QString::fromLatin1(kTabTitles[kind - 1]));
    }
    setWidget(m_wndTabs);
    UpdateFont();
    m_shared->bar.store(this);
}

COutputBar::~COutputBar()
{
    // Rows still queued for this bar are dropped from now on.
    m_shared->bar.store(nullptr);
}

int COutputBar::OpenMessageFiles(std::string_view userId)
{
    const pf::LocalTime now = pf::clock().localNow();
    return m_shared->files.open(ProgramPaths(), userId, now.day, now.month, now.year);
}

void COutputBar::SetUserMessage(int kind, char side, std::string_view text, std::string_view extra)
{
    int step = 0;
    try {
        if (kind < MsgTrading || kind > MsgResearch)
            return;
        step = 1;
        const pf::LocalTime now = pf::clock().localNow();
        std::string time = MessageTimeText(now.hour, now.minute, now.second);
        const std::string line = MessageFileLine(time, text);
        step = 6;
        if (kind == MsgResearch && extra.empty() && g_AppSettings.switches[1] == '1') {
            if (pf::SoundService* sound = m_shared->sound.load())
                AlertSoundThread(0, *sound, ProgramPaths());
        }
        step = 5;
        // The rows: on the UI thread, in call order; dropped when the bar has gone.
        ui::UiThread::post([shared = m_shared, kind, side, time, t = std::string(text)] {
            if (COutputBar* bar = shared->bar.load())
                bar->AddRows(kind, side, time, t);
        });
        step = 7;
        ++g_MessagesShown;
        step = 8;
        m_shared->files.append(kind, line);
    } catch (const std::exception&) {
        WriteLog(0, "SException in COutputBar::SetUserMessage : [" + std::to_string(step) + "]");
    } catch (...) {
        WriteLog(0, "Exception in SetUserMessage for message [" + std::string(text) + "] at [" +
                        std::to_string(step) + "]");
    }
}

void COutputBar::AddRows(int kind, char side, const std::string& time, const std::string& text)
{
    CMyNewListCtrl* list = m_lists[size_t(kind - 1)];
    // Only the user's own trading lines (order results and confirmations)
    // bring their tab forward: a broadcast or a research call must not hide
    // an order's confirmation the user is reading.
    if (kind == MsgTrading && m_wndTabs->currentIndex() != kind - 1)
        m_wndTabs->setCurrentIndex(kind - 1);
    const int code = MessageRowCode(kind, side);
    const std::vector<std::string> rows = WrapMessageRows(text, m_nWrapWidth);
    ui::GridModel& model = list->model();
    for (size_t i = 0; i < rows.size(); ++i) {
        const int row = model.insertRow(int(i));
        model.setText(row, 0, i == 0 ? QString::fromStdString(time) : QStringLiteral(" "));
        if (i == 0)
            model.setIcon(row, 0, kind - 1);
        model.setText(row, 1, QString::fromStdString(rows[i]));
        model.setRowData(row, code);
    }
    // A long session keeps the newest rows; the files keep every message.
    while (model.rowTotal() > kMaxMessageRows) {
        const int last = model.idAt(model.rowTotal() - 1);
        if (last < 0 || !model.removeRow(last))
            break;
    }
}

void COutputBar::UpdateFont()
{
    const QFont f = fontOfSettings();
    for (CMyNewListCtrl* list : m_lists)
        list->setGridFont(f);
}

CMyNewListCtrl* COutputBar::List(int kind) const
{
    return kind >= 1 && kind <= 4 ? m_lists[size_t(kind - 1)] : nullptr;
}

int COutputBar::RowCount(int kind) const
{
    CMyNewListCtrl* list = List(kind);
    return list ? list->model().rowTotal() : 0;
}

QString COutputBar::RowText(int kind, int position, int column) const
{
    CMyNewListCtrl* list = List(kind);
    if (!list)
        return {};
    const std::vector<int>& ids = list->model().childrenOf(ui::GridModel::kRoot);
    return position >= 0 && position < int(ids.size()) ? list->model().text(ids[size_t(position)], column)
                                                       : QString();
}

int COutputBar::RowCode(int kind, int position) const
{
    CMyNewListCtrl* list = List(kind);
    if (!list)
        return 0;
    const std::vector<int>& ids = list->model().childrenOf(ui::GridModel::kRoot);
    if (position < 0 || position >= int(ids.size()))
        return 0;
    const int* code = list->model().rowDataAs<int>(ids[size_t(position)]);
    return code ? *code : 0;
}

int COutputBar::ActiveKind() const
{
    return m_wndTabs->currentIndex() + 1;
}
