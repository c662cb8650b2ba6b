#include "watch/excel/ExcelExportCommand.h"

#include "app/base/ConfigFile.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/ProgramPaths.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"
#include "watch/CVortanexView.h"
#include "frame/WatchOpeners.h"
#include "watch/base/WatchlistTable.h"
#include "watch/excel/CExportExcel.h"
#include "watch/excel/CalcSheetLink.h"
#include "watch/excel/ExcelExport.h"

#include "ui/modal_host.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>

#include <atomic>
#include <cstring>
#include <map>
#include <thread>

#ifndef VX_CALCLINK_PROGRAM
#define VX_CALCLINK_PROGRAM ""
#endif

namespace {

std::map<CVortanexView*, ExcelTargetPtr>& targets()
{
    static std::map<CVortanexView*, ExcelTargetPtr> map;
    return map;
}

std::unique_ptr<SheetLink> makeCalc()
{
    CalcOptions o;
    const QString beside = QCoreApplication::applicationDirPath() + "/vx_calclink";
    o.helper = QFileInfo(beside).isExecutable() ? beside.toStdString() : std::string(VX_CALCLINK_PROGRAM);
    const std::string program = ReadConfigValue("Calc_Program");
    if (!program.empty())
        o.program = program;
    const QString platform = QGuiApplication::platformName();
    const bool noDisplay = platform == "offscreen" || platform == "minimal" ||
                           (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
    o.headless = noDisplay || ReadConfigValue("Sheet_Headless") == "1";
    o.saveFolder = ProgramPaths().docs().string();
    return std::make_unique<CalcSheetLink>(o);
}

CMSExcel& programLink()
{
    static bool configured = false;
    if (!configured) {
        configured = true;
        if (!CMSExcel::programInstalled())
            CMSExcel::installProgram(makeCalc, [](std::function<void()> task) {
                QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
            });
        qAddPostRoutine(LetGoExcelLink);
    }
    return CMSExcel::program();
}

ExcelTargetPtr targetOf(CVortanexView* view)
{
    auto& t = targets()[view];
    if (!t) {
        t = std::make_shared<ExcelSheetTarget>();
        QPointer<CVortanexView> guard(view);
        t->onLive = [guard](bool on) {
            if (guard)
                guard->setExcelCellsLive(on);
        };
    }
    return t;
}

ExcelTargetPtr linkedTarget(CVortanexView* view)
{
    const auto it = targets().find(view);
    if (it == targets().end() || !CMSExcel::program().isLinked(it->second))
        return nullptr;
    return it->second;
}

// A step that waits on the spreadsheet runs on a thread of its own while the
// window keeps painting (input waits meanwhile).
void runAside(const std::function<void()>& step)
{
    std::atomic<bool> done{false};
    QEventLoop loop;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    std::thread worker([&] {
        step();
        done = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    QApplication::restoreOverrideCursor();
}

// The rows in the order the view shows them; the target keeps where each
// list position went, for the ticks and removals that follow.
std::vector<ExcelRow> rowsOf(const CVortanexView* view, ExcelSheetTarget& target)
{
    const auto securities = SecurityTable::current();
    return ExcelRowsOf(view->list(), securities.get(), view->positionsInGridOrder(), &target.placeOf);
}

void exportView(CVortanexView* view)
{
    ExcelExportUi ui;
    ui.askWorkbook = [view](bool& newBook, std::string& path) {
        CExportExcel dialog(view);
        if (ui::modalHost().run(dialog) != 1)
            return false;
        newBook = dialog.result() == "NEWBOOK";
        path = dialog.path();
        return true;
    };
    ui.message = [](const std::string& text) { MsgBoxOk(text); };
    ui.runAside = runAside;
    ExportViewToExcel(view, ui);
}

} // namespace

void ExportViewToExcel(CVortanexView* view, const ExcelExportUi& ui)
{
    CMSExcel& l = programLink();
    const WatchlistRecord& list = view->list();
    ExcelListInfo info;
    info.type = list.type;
    info.group = list.group;
    info.name = list.name;
    const auto securities = SecurityTable::current();
    if (list.chainKind == 1) {
        const auto indices = IndexTable::instance().entries();
        if (list.chainSecurity >= 0 && list.chainSecurity < static_cast<int>(indices.size())) {
            const IndexRecord& ix = indices[static_cast<size_t>(list.chainSecurity)];
            info.underlying.assign(ix.code, strnlen(ix.code, sizeof ix.code));
        }
    } else if (securities && securities->valid(list.chainSecurity)) {
        info.underlying = std::string(securities->row(list.chainSecurity).symbol.view());
    }
    info.symbol = info.underlying;
    info.shownRows = CountWatchRows(list);
    const ExcelTargetPtr target = targetOf(view);
    info.rows = rowsOf(view, *target);
    std::vector<std::string> taken;
    for (const auto& [v, t] : targets())
        if (v != view && l.isLinked(t))
            taken.push_back(t->sheetName);

    QPointer<CVortanexView> guard(view);
    ExportToExcel(l, target, info, ui, taken);
    if (!guard)
        l.unlinkTarget(target); // the view went away meanwhile
}

void InstallExcelLink(WatchOpeners& o)
{
    o.exportToExcel = exportView;
    o.excelTick = [](CVortanexView* view, int position, int security) {
        const ExcelTargetPtr t = linkedTarget(view);
        if (!t)
            return false;
        UpdateExcelTick(CMSExcel::program(), t, security, ExcelPlaceOf(*t, position));
        return true;
    };
    o.excelViewGone = [](CVortanexView* view) {
        const auto it = targets().find(view);
        if (it == targets().end())
            return;
        CMSExcel::program().unlinkTarget(it->second);
        targets().erase(it);
    };
    o.addExcelScripts = [](CVortanexView* view) {
        if (const ExcelTargetPtr t = linkedTarget(view))
            AddExcelScripts(CMSExcel::program(), t, rowsOf(view, *t), CountWatchRows(view->list()),
                            [](const std::string& text) { MsgBoxInfoCaption(text, "Vortanex"); });
    };
    o.deleteExcelRows = [](CVortanexView* view, const std::vector<int>& positions) {
        if (const ExcelTargetPtr t = linkedTarget(view))
            for (int p : positions)
                DeleteExcelRows(CMSExcel::program(), t, ExcelPlaceOf(*t, p));
    };
    o.saveExcelWatchlist = [](CVortanexView* view) {
        if (const ExcelTargetPtr t = linkedTarget(view)) {
            view->setExcelCellsLive(false);
            SaveExcelWatchlist(CMSExcel::program(), t, rowsOf(view, *t));
        }
    };
}

void LetGoExcelLink()
{
    targets().clear();
    CMSExcel::letGoProgram();
}
