// vx_calclink: the terminal's helper that drives LibreOffice Calc over UNO.
// It keeps the office's runtime, its threads and any abort out of the
// terminal. The terminal talks to it over standard input and output, one
// command per line (watch/excel/CalcLinkProtocol.h); "EVENT\tdisconnected"
// is written once when the book is closed by the user, the office ends or
// the connection breaks.
#include "watch/excel/CalcLinkProtocol.h"

#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/util/XCloseListener.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <osl/file.hxx>
#include <rtl/ustring.hxx>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <mutex>
#include <signal.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace css;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;
using rtl::OUStringToOString;

#ifndef VX_LO_PROGRAM_DIR
#define VX_LO_PROGRAM_DIR "/usr/lib/libreoffice/program"
#endif

namespace {

std::mutex g_out;
std::atomic<bool> g_disconnected{false};
std::atomic<bool> g_closingOurselves{false};
std::atomic<bool> g_officeEnded{false};

void say(const std::vector<std::string>& fields)
{
    std::lock_guard lock(g_out);
    std::cout << CalcLinkLine(fields) << '\n' << std::flush;
}

void lostBook()
{
    if (g_closingOurselves || g_disconnected.exchange(true))
        return;
    say({"EVENT", "disconnected"});
}

OUString ou(const std::string& s)
{
    return OUString(s.data(), static_cast<sal_Int32>(s.size()), RTL_TEXTENCODING_UTF8);
}

std::string utf8(const OUString& s)
{
    return OUStringToOString(s, RTL_TEXTENCODING_UTF8).getStr();
}

// The book's close and the connection's end both mean the link is over.
class Watcher : public cppu::WeakImplHelper1<util::XCloseListener> {
public:
    void SAL_CALL queryClosing(const lang::EventObject&, sal_Bool) override {}
    void SAL_CALL notifyClosing(const lang::EventObject&) override { lostBook(); }
    void SAL_CALL disposing(const lang::EventObject&) override { lostBook(); }
};

int32_t rgbOf(long bgr)
{
    const uint32_t c = static_cast<uint32_t>(bgr);
    return static_cast<int32_t>(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
}

long bgrOf(int32_t rgb)
{
    return rgbOf(rgb);
}

// Plain decimals become numbers the user can compute with; anything else
// (keys, dates, a text starting with '=') stays text, never a formula.
Any cellValue(const std::string& text)
{
    if (!text.empty() && text.find_first_not_of("-0123456789.") == std::string::npos) {
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (end && *end == '\0')
            return Any(v);
    }
    return Any(ou(text));
}

// The decimals a number's text was written with (the writer's rule for the
// instrument: two, four for a currency); -1 for a text that is no number.
int decimalsOf(const std::string& text)
{
    if (text.empty() || text.find_first_not_of("-0123456789.") != std::string::npos)
        return -1;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    if (!end || *end != '\0')
        return -1;
    const size_t dot = text.find('.');
    return dot == std::string::npos ? 0 : static_cast<int>(text.size() - dot - 1);
}

struct Calc {
    pid_t child = -1;
    bool headless = true;
    // Where a headless book is kept (nobody can see it, so its data would be
    // lost with it); empty for a visible book, which the user saves.
    std::string savePath;
    Reference<uno::XComponentContext> local;
    Reference<lang::XComponent> bridge;
    Reference<frame::XDesktop2> desktop;
    Reference<sheet::XSpreadsheetDocument> doc;
    Reference<util::XCloseListener> watcher;

    Reference<sheet::XSpreadsheets> sheets() const
    {
        if (!doc.is())
            throw std::runtime_error("no book");
        return doc->getSheets();
    }
    Reference<sheet::XSpreadsheet> sheet(const std::string& name) const
    {
        return Reference<sheet::XSpreadsheet>(sheets()->getByName(ou(name)), UNO_QUERY_THROW);
    }
};

Calc g_calc;
// What this helper last wrote into each cell, by sheet: lets a batch of
// scattered cells go out as a few rectangles.
std::map<std::string, std::map<std::pair<int, int>, std::string>> g_written;
// The decimals of the number format each cell was given, so a tick sets a
// format only where it changes.
std::map<std::string, std::map<std::pair<int, int>, int>> g_formats;
// The book's format key of "0", "0.00", "0.0000"... by decimals.
std::map<int, sal_Int32> g_formatKeys;

// An office installed without its window plugins (the server package)
// cannot show a book: it runs without a window rather than not at all.
bool hasWindowPlugin()
{
    DIR* dir = opendir(VX_LO_PROGRAM_DIR);
    if (!dir)
        return true; // another office: let it try
    bool found = false;
    while (dirent* e = readdir(dir))
        found = found || std::strncmp(e->d_name, "libvclplug_", 11) == 0;
    closedir(dir);
    return found;
}

std::string start(const std::vector<std::string>& f)
{
    // start headless program pipe profileUrl
    if (f.size() < 5)
        return "ERR\tbad start";
    g_calc.headless = f[1] == "1" || !hasWindowPlugin();
    const std::string program = f[2], pipe = f[3], profile = f[4];
    const std::string accept = "--accept=pipe,name=" + pipe + ";urp;";
    std::vector<std::string> args = {program, "--calc", "--nologo", "--norestore", "--nodefault", accept};
    if (g_calc.headless) {
        args.push_back("--headless");
        args.push_back("--invisible");
    }
    if (!profile.empty())
        args.push_back("-env:UserInstallation=" + profile);
    const pid_t pid = fork();
    if (pid < 0)
        return "ERR\tFailed to Create Excel Instance";
    if (pid == 0) {
        // The office must not read the terminal's commands nor write into
        // its answers.
        // Its own process group: ending the office ends its launcher's
        // child too.
        setpgid(0, 0);
        const int null = ::open("/dev/null", 2);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    g_calc.child = pid;
    Reference<connection::XConnector> connector = connection::Connector::create(g_calc.local);
    Reference<connection::XConnection> connection;
    // A first start makes the throwaway profile; on a busy machine that takes
    // well over ten seconds. The terminal waits a little longer than this.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kCalcStartSeconds);
    while (!connection.is() && std::chrono::steady_clock::now() < deadline) {
        try {
            connection = connector->connect(ou("pipe,name=" + pipe));
        } catch (const connection::NoConnectException&) {
            int status = 0;
            if (g_calc.child > 0 && waitpid(g_calc.child, &status, WNOHANG) == g_calc.child) {
                g_calc.child = -1; // handed over to an office already running, or failed
                if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
                    break; // no such program
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    if (!connection.is()) {
        // An office this helper started headless that never answered is
        // nobody's: it must not stay behind, invisible, holding its profile.
        if (g_calc.headless && g_calc.child > 0) {
            kill(-g_calc.child, SIGKILL);
            while (waitpid(g_calc.child, nullptr, 0) < 0 && errno == EINTR) {
            }
            g_calc.child = -1;
        }
        return "ERR\tFailed to Create Excel Instance";
    }
    if (g_calc.child > 0) {
        // The office this helper started ending (killed, crashed, quit by
        // the user) is the end of the book, whatever the bridge says.
        std::thread([pid = g_calc.child] {
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            g_officeEnded = true;
            lostBook();
        }).detach();
    }
    Reference<bridge::XBridgeFactory2> factory = bridge::BridgeFactory::create(g_calc.local);
    Reference<bridge::XBridge> bridge = factory->createBridge(OUString(), "urp", connection, nullptr);
    g_calc.bridge.set(bridge, UNO_QUERY_THROW);
    g_calc.watcher = new Watcher;
    g_calc.bridge->addEventListener(Reference<lang::XEventListener>(g_calc.watcher, UNO_QUERY));
    Reference<uno::XComponentContext> remote(bridge->getInstance("StarOffice.ComponentContext"), UNO_QUERY_THROW);
    g_calc.desktop = frame::Desktop::create(remote);
    // The office this helper started leads its own process group: the
    // terminal ends that group when the office stops answering. The last
    // field says whether the office runs without a window: an office without
    // its window plugins does whatever was asked.
    return "OK\t" + std::to_string(g_calc.child > 0 ? g_calc.child : 0) + "\t" + (g_calc.headless ? "1" : "0");
}

std::string openBook(const std::vector<std::string>& f)
{
    const std::string path = f.size() > 1 ? f[1] : std::string();
    OUString url = "private:factory/scalc";
    if (!path.empty()) {
        OUString fileUrl;
        if (osl::FileBase::getFileURLFromSystemPath(ou(path), fileUrl) != osl::FileBase::E_None)
            return "ERR\tFailed to open " + path;
        url = fileUrl;
    }
    Sequence<beans::PropertyValue> props(1);
    props.getArray()[0].Name = "Hidden";
    props.getArray()[0].Value <<= g_calc.headless;
    Reference<lang::XComponent> component;
    try {
        component = g_calc.desktop->loadComponentFromURL(url, "_blank", 0, props);
    } catch (const uno::Exception& e) {
        // An office that cannot make a book (e.g. one without a display
        // when asked for a window) is as good as absent.
        std::fprintf(stderr, "vx_calclink: open failed: %s\n", utf8(e.Message).c_str());
        return path.empty() ? "ERR\tFailed to Create Excel Instance" : "ERR\tFailed to open " + path;
    }
    g_calc.doc.set(component, UNO_QUERY);
    g_written.clear();
    g_formats.clear();
    g_formatKeys.clear();
    g_calc.savePath.clear();
    if (!g_calc.doc.is())
        return path.empty() ? "ERR\tFailed to Create Excel Instance" : "ERR\tFailed to open " + path;
    Reference<util::XCloseBroadcaster> closer(component, UNO_QUERY);
    if (closer.is())
        closer->addCloseListener(g_calc.watcher);
    component->addEventListener(Reference<lang::XEventListener>(g_calc.watcher, UNO_QUERY));
    std::string name = path.empty() ? "Untitled" : path.substr(path.find_last_of('/') + 1);
    Reference<frame::XTitle> title(component, UNO_QUERY);
    if (path.empty() && title.is())
        name = utf8(title->getTitle());
    return "OK\t" + CalcLinkEscape(name);
}

// saveas path: the book is written to path (the office's own format) and
// written there again when it is let go.
std::string saveAs(const std::vector<std::string>& f)
{
    if (f.size() < 2 || f[1].empty() || !g_calc.doc.is())
        return "ERR\tbad saveas";
    OUString url;
    if (osl::FileBase::getFileURLFromSystemPath(ou(f[1]), url) != osl::FileBase::E_None)
        return "ERR\tFailed to save " + f[1];
    Sequence<beans::PropertyValue> props(2);
    props.getArray()[0].Name = "FilterName";
    props.getArray()[0].Value <<= OUString("calc8");
    props.getArray()[1].Name = "Overwrite";
    props.getArray()[1].Value <<= true;
    Reference<frame::XStorable>(g_calc.doc, UNO_QUERY_THROW)->storeAsURL(url, props);
    g_calc.savePath = f[1];
    return "OK";
}

// store: the opened book is written back to its own file in its own format
// (and again when it is let go). An answer of ERR means the file cannot take
// it (read-only, a format the office only reads): the caller keeps the data
// elsewhere.
std::string storeInPlace()
{
    if (!g_calc.doc.is())
        return "ERR\tno book";
    Reference<frame::XStorable> storable(g_calc.doc, UNO_QUERY_THROW);
    if (!storable->hasLocation() || storable->isReadonly())
        return "ERR\tthe book is read-only";
    OUString fileName;
    if (osl::FileBase::getSystemPathFromFileURL(storable->getLocation(), fileName) != osl::FileBase::E_None)
        return "ERR\tthe book is not a file";
    storable->store();
    g_calc.savePath = utf8(fileName);
    return "OK";
}

std::string names()
{
    Reference<container::XIndexAccess> all(g_calc.sheets(), UNO_QUERY_THROW);
    std::vector<std::string> out = {"OK"};
    for (sal_Int32 i = 0; i < all->getCount(); ++i) {
        Reference<container::XNamed> named(all->getByIndex(i), UNO_QUERY_THROW);
        out.push_back(utf8(named->getName()));
    }
    return CalcLinkLine(out);
}

std::string cells(const std::vector<std::string>& f)
{
    // cells sheet (row col styled interior font bold text)*
    // Values go in one block per run of adjacent cells of a row; looks go
    // in one call per distinct look over all its cells at once (a remote
    // call costs far more than the cells it carries).
    Reference<sheet::XSpreadsheet> sh = g_calc.sheet(f.at(1));
    const sal_Int16 sheetIndex =
        Reference<sheet::XCellRangeAddressable>(sh, UNO_QUERY_THROW)->getRangeAddress().Sheet;
    auto& known = g_written[f.at(1)];
    std::map<std::string, std::vector<table::CellRangeAddress>> looks;
    std::map<int, std::pair<int, int>> touched; // row -> first and last column
    for (size_t i = 2; i + 7 <= f.size(); i += 7) {
        const int row = std::stoi(f[i]), col = std::stoi(f[i + 1]);
        known[{row, col}] = f[i + 6];
        auto [it, fresh] = touched.try_emplace(row, col, col);
        if (!fresh) {
            it->second.first = std::min(it->second.first, col);
            it->second.second = std::max(it->second.second, col);
        }
        if (f[i + 2] == "1") {
            table::CellRangeAddress a;
            a.Sheet = sheetIndex;
            a.StartColumn = a.EndColumn = col - 1;
            a.StartRow = a.EndRow = row - 1;
            auto& list = looks[f[i + 3] + "," + f[i + 4] + "," + f[i + 5]];
            // Adjacent cells of one look in a row are one range.
            if (!list.empty() && list.back().StartRow == a.StartRow && list.back().EndColumn + 1 == a.StartColumn)
                list.back().EndColumn = a.EndColumn;
            else
                list.push_back(a);
        }
    }
    // Values: the rows touched, in blocks of adjacent rows, each written as
    // one rectangle; the cells inside it that this batch does not carry take
    // what this helper last wrote there. A rectangle with a cell never
    // written here falls back to one block per row.
    const auto writeBlock = [&](int row0, int row1, int col0, int col1) {
        Sequence<Sequence<Any>> data(row1 - row0 + 1);
        for (int r = row0; r <= row1; ++r) {
            Sequence<Any> line(col1 - col0 + 1);
            for (int c = col0; c <= col1; ++c)
                line.getArray()[c - col0] = cellValue(known[{r, c}]);
            data.getArray()[r - row0] = line;
        }
        Reference<table::XCellRange> range = sh->getCellRangeByPosition(col0 - 1, row0 - 1, col1 - 1, row1 - 1);
        Reference<sheet::XCellRangeData>(range, UNO_QUERY_THROW)->setDataArray(data);
    };
    for (auto it = touched.begin(); it != touched.end();) {
        auto end = std::next(it);
        int col0 = it->second.first, col1 = it->second.second;
        while (end != touched.end() && end->first == std::prev(end)->first + 1) {
            col0 = std::min(col0, end->second.first);
            col1 = std::max(col1, end->second.second);
            ++end;
        }
        bool whole = true;
        for (int r = it->first; whole && r <= std::prev(end)->first; ++r)
            for (int c = col0; whole && c <= col1; ++c)
                whole = known.count({r, c}) != 0;
        if (whole) {
            writeBlock(it->first, std::prev(end)->first, col0, col1);
        } else {
            for (auto r = it; r != end; ++r) {
                // Runs of cells of the row that this helper knows.
                int c = r->second.first;
                while (c <= r->second.second) {
                    if (!known.count({r->first, c})) {
                        ++c;
                        continue;
                    }
                    int e = c;
                    while (e + 1 <= r->second.second && known.count({r->first, e + 1}))
                        ++e;
                    writeBlock(r->first, r->first, c, e);
                    c = e + 1;
                }
            }
        }
        it = end;
    }
    Reference<lang::XMultiServiceFactory> factory(g_calc.doc, UNO_QUERY_THROW);
    // A number shows with the decimals it was written with ("822.10", not
    // "822.1"): one number format per count of decimals, set on the cells
    // whose format changes.
    auto& formats = g_formats[f.at(1)];
    std::map<int, std::vector<table::CellRangeAddress>> byDecimals;
    bool keys = false;
    for (size_t i = 2; i + 7 <= f.size(); i += 7) {
        const int row = std::stoi(f[i]), col = std::stoi(f[i + 1]);
        keys = keys || col == 1;
        const int decimals = decimalsOf(f[i + 6]);
        if (decimals < 0 || decimals > 8)
            continue;
        auto [at, fresh] = formats.try_emplace({row, col}, decimals);
        if (!fresh && at->second == decimals)
            continue;
        at->second = decimals;
        table::CellRangeAddress a;
        a.Sheet = sheetIndex;
        a.StartColumn = a.EndColumn = col - 1;
        a.StartRow = a.EndRow = row - 1;
        byDecimals[decimals].push_back(a);
    }
    if (!byDecimals.empty()) {
        Reference<util::XNumberFormats> numberFormats =
            Reference<util::XNumberFormatsSupplier>(g_calc.doc, UNO_QUERY_THROW)->getNumberFormats();
        for (const auto& [decimals, addresses] : byDecimals) {
            sal_Int32& key = g_formatKeys.try_emplace(decimals, -1).first->second;
            if (key < 0) {
                const OUString code = ou(decimals == 0 ? std::string("0") : "0." + std::string(size_t(decimals), '0'));
                key = numberFormats->queryKey(code, lang::Locale(), false);
                if (key < 0)
                    key = numberFormats->addNew(code, lang::Locale());
            }
            Reference<sheet::XSheetCellRangeContainer> ranges(
                factory->createInstance("com.sun.star.sheet.SheetCellRanges"), UNO_QUERY_THROW);
            Sequence<table::CellRangeAddress> all(static_cast<sal_Int32>(addresses.size()));
            std::copy(addresses.begin(), addresses.end(), all.getArray());
            ranges->addRangeAddresses(all, false);
            Reference<beans::XPropertySet>(ranges, UNO_QUERY_THROW)->setPropertyValue("NumberFormat", Any(key));
        }
    }
    // Rows with their keys (not ticks): every column is as wide as its
    // widest text, so no name is cut.
    if (keys && !touched.empty()) {
        int col1 = 1;
        for (const auto& [row, cols] : touched)
            col1 = std::max(col1, cols.second);
        Reference<table::XColumnRowRange> columns(sh->getCellRangeByPosition(0, 0, col1 - 1, 0), UNO_QUERY_THROW);
        Reference<beans::XPropertySet>(columns->getColumns(), UNO_QUERY_THROW)
            ->setPropertyValue("OptimalWidth", Any(true));
    }
    if (looks.empty())
        return "OK";
    for (const auto& [look, addresses] : looks) {
        long back = -1, font = 0;
        int bold = 0;
        std::sscanf(look.c_str(), "%ld,%ld,%d", &back, &font, &bold);
        Reference<sheet::XSheetCellRangeContainer> ranges(
            factory->createInstance("com.sun.star.sheet.SheetCellRanges"), UNO_QUERY_THROW);
        Sequence<table::CellRangeAddress> all(static_cast<sal_Int32>(addresses.size()));
        std::copy(addresses.begin(), addresses.end(), all.getArray());
        ranges->addRangeAddresses(all, false);
        Reference<beans::XPropertySet> props(ranges, UNO_QUERY_THROW);
        if (back < 0)
            props->setPropertyValue("IsCellBackgroundTransparent", Any(true));
        else
            props->setPropertyValue("CellBackColor", Any(rgbOf(back)));
        props->setPropertyValue("CharColor", Any(rgbOf(font)));
        props->setPropertyValue("CharWeight", Any(bold ? awt::FontWeight::BOLD : awt::FontWeight::NORMAL));
    }
    return "OK";
}

std::string fill(const std::vector<std::string>& f)
{
    // fill sheet row first last colour pattern
    Reference<sheet::XSpreadsheet> sh = g_calc.sheet(f.at(1));
    const int row = std::stoi(f.at(2)), first = std::stoi(f.at(3)), last = std::stoi(f.at(4));
    Reference<beans::XPropertySet> props(sh->getCellRangeByPosition(first - 1, row - 1, last - 1, row - 1),
                                         UNO_QUERY_THROW);
    props->setPropertyValue("CellBackColor", Any(rgbOf(std::stol(f.at(5)))));
    return "OK";
}

std::string deleteRows(const std::vector<std::string>& f)
{
    Reference<table::XColumnRowRange> rows(g_calc.sheet(f.at(1)), UNO_QUERY_THROW);
    const int first = std::stoi(f.at(2)), last = std::stoi(f.at(3));
    rows->getRows()->removeByIndex(first - 1, last - first + 1);
    auto& known = g_written[f.at(1)];
    std::map<std::pair<int, int>, std::string> kept;
    for (auto& [at, text] : known) {
        if (at.first < first)
            kept[at] = std::move(text);
        else if (at.first > last)
            kept[{at.first - (last - first + 1), at.second}] = std::move(text);
    }
    known = std::move(kept);
    g_formats.erase(f.at(1)); // the formats moved with their cells: set again on the next write
    return "OK";
}

std::string lastRow(const std::vector<std::string>& f)
{
    Reference<sheet::XSpreadsheet> sh = g_calc.sheet(f.at(1));
    Reference<sheet::XSheetCellCursor> cursor = sh->createCursor();
    Reference<sheet::XUsedAreaCursor>(cursor, UNO_QUERY_THROW)->gotoEndOfUsedArea(false);
    const auto address = Reference<sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
    int last = address.EndRow + 1;
    if (last == 1) {
        Reference<table::XCell> a1 = sh->getCellByPosition(0, 0);
        if (a1->getFormula().isEmpty())
            last = 0;
    }
    return "OK\t" + std::to_string(last);
}

std::string read(const std::vector<std::string>& f)
{
    Reference<sheet::XSpreadsheet> sh = g_calc.sheet(f.at(1));
    Reference<table::XCell> cell = sh->getCellByPosition(std::stoi(f.at(3)) - 1, std::stoi(f.at(2)) - 1);
    Reference<beans::XPropertySet> props(cell, UNO_QUERY_THROW);
    bool transparent = false;
    props->getPropertyValue("IsCellBackgroundTransparent") >>= transparent;
    sal_Int32 back = -1, font = 0;
    props->getPropertyValue("CellBackColor") >>= back;
    props->getPropertyValue("CharColor") >>= font;
    float weight = 0;
    props->getPropertyValue("CharWeight") >>= weight;
    const long interior = transparent || back < 0 ? -1 : bgrOf(back);
    // Then what the cell shows (its number format applied), whether it holds
    // a number, and its column's width (1/100 mm).
    const std::string shown = utf8(Reference<text::XTextRange>(cell, UNO_QUERY_THROW)->getString());
    const bool number = cell->getType() == table::CellContentType_VALUE;
    Reference<table::XColumnRowRange> columns(sh, UNO_QUERY_THROW);
    sal_Int32 width = 0;
    Reference<beans::XPropertySet>(columns->getColumns()->getByIndex(std::stoi(f.at(3)) - 1), UNO_QUERY_THROW)
            ->getPropertyValue("Width") >>= width;
    return CalcLinkLine({"OK", utf8(cell->getFormula()), std::to_string(interior),
                         std::to_string(font < 0 ? 0 : bgrOf(font)), weight > awt::FontWeight::NORMAL ? "1" : "0",
                         shown, number ? "1" : "0", std::to_string(width)});
}

std::string sheetOp(const std::vector<std::string>& f)
{
    Reference<sheet::XSpreadsheets> all = g_calc.sheets();
    const std::string& op = f[0];
    if (op == "insert") {
        const OUString name = ou(f.at(2));
        if (all->hasByName(name))
            return "ERR\texists";
        all->insertNewByName(name, static_cast<sal_Int16>(std::stoi(f.at(1))));
        g_written.erase(f.at(2));
        g_formats.erase(f.at(2));
        return all->hasByName(name) ? "OK" : "ERR\trefused";
    }
    if (op == "rename") {
        Reference<container::XNamed> named(all->getByName(ou(f.at(1))), UNO_QUERY_THROW);
        named->setName(ou(f.at(2)));
        g_written.erase(f.at(1));
        g_formats.erase(f.at(1));
        return utf8(named->getName()) == f.at(2) ? "OK" : "ERR\trefused";
    }
    if (op == "remove") {
        all->removeByName(ou(f.at(1)));
        g_written.erase(f.at(1));
        g_formats.erase(f.at(1));
        return "OK";
    }
    // hide
    Reference<beans::XPropertySet> props(all->getByName(ou(f.at(1))), UNO_QUERY_THROW);
    props->setPropertyValue("IsVisible", Any(false));
    return "OK";
}

// The terminal lets the book go: a visible office stays open with it; a
// headless one this helper started ends (nobody could see it).
void release(bool closeBook)
{
    g_closingOurselves = true;
    try {
        if (g_calc.doc.is() && g_calc.headless && !g_calc.savePath.empty()) {
            try {
                Reference<frame::XStorable>(g_calc.doc, UNO_QUERY_THROW)->store();
            } catch (const uno::Exception& e) {
                std::fprintf(stderr, "vx_calclink: saving %s failed: %s\n", g_calc.savePath.c_str(),
                             utf8(e.Message).c_str());
            }
        }
        if (g_calc.doc.is() && (closeBook || g_calc.headless)) {
            Reference<util::XCloseBroadcaster> closer(g_calc.doc, UNO_QUERY);
            if (closer.is())
                closer->removeCloseListener(g_calc.watcher);
            Reference<util::XCloseable>(g_calc.doc, UNO_QUERY_THROW)->close(true);
        }
        g_calc.doc.clear();
        if (g_calc.headless && g_calc.desktop.is())
            g_calc.desktop->terminate();
    } catch (...) {
    }
    g_calc.desktop.clear();
    try {
        if (g_calc.bridge.is())
            g_calc.bridge->dispose();
    } catch (...) {
    }
    if (g_calc.headless && g_calc.child > 0) {
        // Give the office a moment to end by itself, then make sure (the
        // watching thread reaps it).
        for (int i = 0; i < 50 && !g_officeEnded; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!g_officeEnded)
            kill(-g_calc.child, SIGKILL);
        for (int i = 0; i < 50 && !g_officeEnded; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::string handle(const std::vector<std::string>& f)
{
    const std::string& op = f[0];
    if (op == "start")
        return start(f);
    if (g_disconnected)
        return "ERR\tdisconnected";
    if (!g_calc.desktop.is())
        return "ERR\tnot started";
    if (op == "open")
        return openBook(f);
    if (op == "names")
        return names();
    if (op == "saveas")
        return saveAs(f);
    if (op == "store")
        return storeInPlace();
    if (op == "insert" || op == "rename" || op == "remove" || op == "hide")
        return sheetOp(f);
    if (op == "cells")
        return cells(f);
    if (op == "fill")
        return fill(f);
    if (op == "delrows")
        return deleteRows(f);
    if (op == "lastrow")
        return lastRow(f);
    if (op == "read")
        return read(f);
    if (op == "pid")
        return "OK\t" + std::to_string(g_calc.child);
    if (op == "userclose") {
        // Closes the book the way the user does (the check of the live link).
        Reference<util::XCloseable>(g_calc.doc, UNO_QUERY_THROW)->close(true);
        return "OK";
    }
    return "ERR\tunknown command";
}

} // namespace

int main()
{
    signal(SIGPIPE, SIG_IGN);
    // The office's own bootstrap file, where the UNO runtime finds its
    // types and services.
    setenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" VX_LO_PROGRAM_DIR "/fundamentalrc", 0);
    try {
        g_calc.local = cppu::defaultBootstrap_InitialComponentContext();
    } catch (const uno::Exception& e) {
        say({"ERR", "Failed to Create Excel Instance", utf8(e.Message)});
        return 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        const std::vector<std::string> f = CalcLinkSplit(line);
        if (f.empty() || f[0].empty())
            continue;
        if (f[0] == "release") {
            release(f.size() > 1 && f[1] == "1");
            say({"OK"});
            return 0;
        }
        std::string answer;
        try {
            answer = handle(f);
        } catch (const lang::DisposedException&) {
            lostBook();
            answer = "ERR\tdisconnected";
        } catch (const uno::RuntimeException& e) {
            // A broken connection shows as a runtime error of the bridge.
            if (!g_calc.doc.is() || !g_calc.desktop.is())
                lostBook();
            answer = "ERR\t" + CalcLinkEscape(utf8(e.Message));
        } catch (const uno::Exception& e) {
            answer = "ERR\t" + CalcLinkEscape(utf8(e.Message));
        } catch (const std::exception& e) {
            answer = "ERR\t" + CalcLinkEscape(e.what());
        }
        std::lock_guard lock(g_out);
        std::cout << answer << '\n' << std::flush;
    }
    // The terminal went away without a word: as at its exit.
    release(false);
    return 0;
}
