#include "market/CSpecialReports.h"

#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "frame/ImageCollections.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/CMarketTurnOver.h" // PickReportSave
#include "market/NetInvestmentChart.h"
#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"
#include "server/SecurityTable.h"

#include "pf/threads.h"
#include "ui/commands.h"
#include "ui/grid_model.h"
#include "ui/modal_host.h"
#include "ui/prompter.h"
#include "ui/ui_thread.h"

#include <QCursor>
#include <QFontMetrics>
#include <QPointer>
#include <QShowEvent>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>

struct CSpecialReports::Alive {
    std::atomic<bool> open{true};
};

// What a fetch hands back to the dialog: the exchange's outcome and the
// parsed report, read on the worker.
struct CSpecialReports::Result {
    unsigned generation = 0;
    int status = 0;
    sr::BulkReport bulk;
    sr::ActivityReport activity;
};

namespace special_reports_detail {
namespace {

ui::FormSpec reportsSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CSpecialReports::kTemplateId;
    spec.name = "CSpecialReports";
    spec.caption = "Reports";
    spec.width = 400;
    spec.height = 262;
    spec.controls = {
        {CSpecialReports::kExchangeLabel, ControlKind::Label, "Select Market Exchange :", {7, 8, 100, 8}},
        {CSpecialReports::kExchange, ControlKind::Combo, "", {110, 6, 70, 60}},
        {CSpecialReports::kSave, ControlKind::Button, "Save", {290, 5, 50, 14}},
        // Escape and this button close the dialog.
        {ui::Cancel, ControlKind::Button, "Close", {343, 5, 50, 14}},
        {CSpecialReports::kList, ControlKind::Static, "", {7, 24, 386, 110}},
        {CSpecialReports::kChart, ControlKind::Static, "", {7, 138, 386, 108}},
        {CSpecialReports::kStatus, ControlKind::Label, "", {7, 250, 386, 8}},
    };
    return spec;
}

void embed(QWidget* holder, QWidget* child)
{
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child);
}

std::string selectedClientCode()
{
    if (ClientInfo* c = ActiveClientEntry())
        return std::string(FixedTextView(c->client_code));
    return std::string(FixedTextView(pv_user_info.client_code));
}

// A row's cells; numbers in the right-aligned columns carry their value,
// which aligns them right and sorts them as numbers, and keep the text as sent.
void fillRow(ui::GridModel& model, const std::vector<sr::Column>& columns, const std::vector<std::string>& cells)
{
    const int id = model.addRow();
    for (size_t c = 0; c < cells.size(); ++c) {
        const QString text = QString::fromStdString(cells[c]);
        bool number = false;
        const double value = text.trimmed().toDouble(&number);
        if (c < columns.size() && columns[c].right && number)
            model.setValue(id, static_cast<int>(c), value);
        model.setText(id, static_cast<int>(c), text);
    }
}

// The set widths are where a column starts; one too narrow for its cells
// grows, so that a figure never loses its sign or leading digits.
void widenToCells(CMyListCtrl& list, const std::vector<sr::Column>& columns)
{
    const QFontMetrics metrics(list.tree() ? list.tree()->font() : list.font());
    const ui::GridModel& model = list.model();
    for (size_t c = 0; c < columns.size() && static_cast<int>(c) < model.columns(); ++c) {
        int width = columns[c].width;
        for (int id : model.preorder())
            width = std::max(width, metrics.horizontalAdvance(model.text(id, static_cast<int>(c))) + 12);
        if (width != list.columnWidth(static_cast<int>(c)))
            list.setColumnWidth(static_cast<int>(c), width);
    }
}

// Search_Token's look-up, with the row read from the same table: a master
// reload between the look-up and the read cannot mix two tables.
std::optional<sr::SecurityName> lookUpToken(int token, std::string_view exchange)
{
    const auto table = SecurityTable::current();
    if (!table)
        return std::nullopt;
    const int index = table->searchToken(token, exchange);
    if (!table->valid(index))
        return std::nullopt;
    const SecurityRecord& r = table->row(index);
    return sr::SecurityName{std::string(r.displayKey().view()), std::string(r.market_exchange.view())};
}

} // namespace
} // namespace special_reports_detail

CSpecialReports::CSpecialReports(int mode, QWidget* parent)
    : ui::Form(special_reports_detail::reportsSpec(), parent), m_mode(mode), m_alive(std::make_shared<Alive>())
{
    if (QWidget* holder = control(kList)) {
        m_list = new CMyListCtrl(holder);
        special_reports_detail::embed(holder, m_list);
    }
    if (QWidget* holder = control(kChart)) {
        m_chart = new NetInvestmentChart(holder);
        special_reports_detail::embed(holder, m_chart);
    }
    onClick(kSave, [this] { OnSave(); });
    onChanged(kExchange, [this] { OnExchangeChange(); });
    // Escape closes the window as its Close button does: without a window
    // manager there is no close box to reach.
}

CSpecialReports::~CSpecialReports()
{
    m_alive->open.store(false);
    // Ends a blocked exchange at once; the worker then finds the dialog gone.
    if (m_cancel)
        m_cancel->cancel();
}

std::string CSpecialReports::statusText() const { return text(kStatus); }

void CSpecialReports::onInit()
{
    try {
        if (m_list) {
            m_list->ResetSortState(8);
            m_list->ApplyFont();
            const std::vector<sr::Column> columns = sr::Columns(m_mode);
            QStringList names;
            for (const sr::Column& c : columns)
                names << QString::fromStdString(c.title);
            m_list->model().setColumns(names);
            for (size_t i = 0; i < columns.size(); ++i)
                m_list->setColumnWidth(static_cast<int>(i), columns[i].width);
        }
        setComboItems(kExchange, sr::Exchanges());
        setComboIndex(kExchange, 0);
        setWindowTitle(QString::fromStdString(sr::TextsOf(m_mode).title));
        int iconCollection = 271, iconIndex = 8;
        if (m_mode == sr::kBulkDeals) {
            showControl(kChart, false);
            showControl(kSave, false);
            // Without the chart the list takes its place.
            if (QWidget* list = control(kList); list && control(kChart))
                list->setGeometry(list->geometry().united(control(kChart)->geometry()));
            iconCollection = 274;
            iconIndex = 10;
        } else {
            showControl(kExchange, false);
            showControl(kExchangeLabel, false);
            control(kSave)->setGeometry(4, 7, 80, 20);
            iconIndex = m_mode == sr::kMfActivity ? 12 : 8;
        }
        if (const ImageCollection* icons = GetImageCollection(iconCollection))
            setWindowIcon(icons->icon(iconIndex));
    } catch (...) {
        WriteLog(1, "Exception in OnInitDialog (CSR)");
    }
}

void CSpecialReports::showEvent(QShowEvent* event)
{
    ui::Form::showEvent(event);
    // A window the system merely restores keeps what it shows.
    if (!event->spontaneous())
        StartFetch();
}

void CSpecialReports::StartFetch()
{
    const int mode = m_mode;
    const int code = sr::ReportTransCode(mode);
    if (code == 0) {
        WriteLog(1, "Error calling special report function from thread");
        return;
    }
    SetAccessTime();
    // One fetch at a time: the one in flight is ended and its result dropped.
    if (m_cancel)
        m_cancel->cancel();
    auto cancel = std::make_shared<ExchangeCancel>();
    m_cancel = cancel;
    const unsigned generation = ++m_generation;
    m_busy = true;
    enable(kExchange, false);
    if (m_list)
        m_list->model().clearRows();
    if (m_chart)
        m_chart->clear();
    setText(kStatus, sr::TextsOf(mode).fetching);

    const std::string exchange = mode == sr::kBulkDeals ? sr::ExchangeCode(text(kExchange)) : std::string();
    const std::string request = sr::ReportRequest(mode, special_reports_detail::selectedClientCode(),
                                                  std::string(FixedTextView(pv_user_info.user_id)), exchange);
    const int encrypt = pv_user_info.encrypt;
    QPointer<CSpecialReports> self(this);
    std::shared_ptr<Alive> alive = m_alive;
    const bool started = pf::Worker::start("GetSpecialReportThread", [=] {
        Result r;
        r.generation = generation;
        std::string reply;
        long length = 0;
        r.status = RequestServer(encrypt, code, request, reply, length, cancel.get());
        if (!alive->open.load() || cancel->cancelled())
            return; // the dialog is gone or a newer fetch replaced this one
        try {
            if (r.status == 200) {
                WriteLog(3, "Response Len <" + std::to_string(static_cast<long>(reply.size())) + ">");
                if (mode == sr::kBulkDeals) {
                    r.bulk = sr::ParseBulkReply(reply, exchange, special_reports_detail::lookUpToken);
                    for (const sr::LogLine& line : r.bulk.logs)
                        WriteLog(line.level, line.text);
                } else {
                    r.activity = sr::ParseActivityReply(reply);
                }
            }
        } catch (...) {
            WriteLog(1, "Exception in GetSpecialReportThread");
        }
        ui::UiThread::post([self, r = std::move(r)] {
            if (self)
                self->apply(r);
        });
    });
    if (!started) {
        m_busy = false;
        enable(kExchange, true);
        setText(kStatus, "Unable to start the report request");
    }
}

void CSpecialReports::apply(const Result& r)
{
    if (r.generation != m_generation)
        return; // a newer fetch has started since
    m_busy = false;
    m_cancel.reset();
    enable(kExchange, true);
    const sr::ModeTexts texts = sr::TextsOf(m_mode);
    const char* exceptionText = m_mode == sr::kBulkDeals     ? "Exception in GetBulkReport"
                                : m_mode == sr::kFiiActivity ? "Exception in GetFIIActivity"
                                                             : "Exception in GetMFActivity";
    try {
        ++m_fetches;
        if (r.status != 200) {
            // The status line keeps the failure visible after the box is gone.
            const std::string error = sr::HttpErrorText(r.status);
            setText(kStatus, error);
            MsgBoxInfoCaption(error, "Internet Error");
            WriteLog(1, texts.exitLog);
            return;
        }
        ui::GridModel& model = m_list->model();
        model.clearRows();
        const std::vector<sr::Column> columns = sr::Columns(m_mode);
        if (m_mode == sr::kBulkDeals) {
            for (const std::vector<std::string>& row : r.bulk.rows)
                special_reports_detail::fillRow(model, columns, row);
            special_reports_detail::widenToCells(*m_list, columns);
            setText(kStatus, r.bulk.status);
            WriteLog(1, texts.exitLog);
            return;
        }
        if (r.activity.refused) {
            MsgBoxInfoCaption(r.activity.refusal, "Bulk Deal Report Error");
            return;
        }
        for (const std::vector<std::string>& row : r.activity.rows)
            special_reports_detail::fillRow(model, columns, row);
        special_reports_detail::widenToCells(*m_list, columns);
        std::vector<NetInvestmentChart::Point> points;
        for (const sr::ChartPoint& p : r.activity.points)
            points.push_back({QString::fromStdString(p.label), p.value});
        if (m_chart)
            m_chart->setPoints(points);
        setText(kStatus, texts.done);
        WriteLog(1, texts.exitLog);
    } catch (...) {
        WriteLog(1, exceptionText);
    }
}

void CSpecialReports::OnExchangeChange()
{
    if (m_mode == sr::kBulkDeals)
        StartFetch();
}

bool CSpecialReports::SaveTo(int command, const std::string& path)
{
    try {
        if (command == kSaveChart) {
            if (!m_chart || !m_chart->exportImage(QString::fromStdString(path))) {
                MsgBoxStyle("Unable to open file to write", MsgOk | MsgIconWarning);
                return false;
            }
            MsgBoxStyle("Image Saved successfully", MsgOk | MsgIconInformation);
            return true;
        }
        if (command != kSaveGrid || !m_list)
            return false;
        const ui::GridModel& model = m_list->model();
        std::vector<std::string> titles;
        for (int c = 0; c < model.columns(); ++c)
            titles.push_back(model.columnName(c).toStdString());
        std::vector<std::vector<std::string>> rows;
        for (int id : model.preorder()) {
            std::vector<std::string> cells;
            for (int c = 0; c < model.columns(); ++c)
                cells.push_back(model.text(id, c).toStdString());
            rows.push_back(std::move(cells));
        }
        const std::optional<std::string> text = sr::ReportCsv(titles, rows);
        if (!text)
            return false; // a list without columns writes no file
        FILE* f = std::fopen(path.c_str(), "w");
        bool ok = f != nullptr;
        if (f) {
            ok = std::fwrite(text->data(), 1, text->size(), f) == text->size();
            ok = std::fclose(f) == 0 && ok;
        }
        if (!ok) {
            WriteLog(1, "Exception :[" + std::to_string(errno) + "] while saving report");
            MsgBoxStyle("Unable to open file to write", MsgOk | MsgIconWarning);
            return false;
        }
        MsgBoxStyle("File Saved successfully", MsgOk | MsgIconInformation);
        return true;
    } catch (const std::exception& e) {
        WriteLog(1, std::string("SException while saving report : [") + e.what() + "]");
    } catch (...) {
        WriteLog(1, "Exception :[0] while saving report");
    }
    return false;
}

void CSpecialReports::OnSave()
{
    try {
        QPoint at = QCursor::pos();
        if (QWidget* button = control(kSave))
            at = button->mapToGlobal(QPoint(0, button->height()));
        if (const auto choice =
                PickReportSave(*this, at, true, "Comma separated(*.csv);;Text Files (*.txt);;All Files (*)"))
            SaveTo(choice->first, choice->second);
    } catch (...) {
        WriteLog(1, "Exception :[0] while saving report");
    }
}

void InstallSpecialReports(ui::Commands& commands, QWidget* mainWindow)
{
    QPointer<QWidget> main(mainWindow);
    const std::pair<int, int> modes[] = {{1124, sr::kBulkDeals}, {1127, sr::kFiiActivity}, {1130, sr::kMfActivity}};
    for (const auto& [id, mode] : modes) {
        const int m = mode;
        commands.add(id, [main, m] {
            SetAccessTime();
            CSpecialReports dlg(m, main);
            ui::modalHost().run(dlg);
        });
    }
}
