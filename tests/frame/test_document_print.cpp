// The print commands of the active document window: Print through the print
// dialog, Quick Print to the default printer, Print Preview and its Print,
// every one on the page of "Print Setup". The pages go to PDF files, read
// back with pdfinfo and pdftotext (poppler-utils): page counts and known
// cells, headers and group captions.
#include "frame/DocumentPrint.h"

#include "app/base/AppSettings.h"
#include "app/base/ProgramPaths.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "frame/PrintSetup.h"

#include "testkit/headless.h"
#include "ui/commands.h"
#include "ui/document_area.h"
#include "ui/form_driver.h"
#include "ui/grid_view.h"

#include <QLabel>
#include <QVBoxLayout>

#include <cstdio>
#include <string>

namespace {

// Runs a command and returns what it printed.
std::string output(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

int pdfPages(const std::filesystem::path& pdf)
{
    const std::string info = output("pdfinfo '" + pdf.string() + "' 2>/dev/null");
    const size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

std::string pdfText(const std::filesystem::path& pdf, int page = 0)
{
    const std::string range = page > 0 ? " -f " + std::to_string(page) + " -l " + std::to_string(page) : "";
    return output("pdftotext -layout" + range + " '" + pdf.string() + "' - 2>/dev/null");
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A chart stand-in: a view that prints itself.
class SelfPrinting final : public QLabel, public SelfPrintingView {
public:
    SelfPrinting() : QLabel(QStringLiteral("chart")) {}
    void printView() override { ++prints; }
    int prints = 0;
};

class DocumentPrintTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        ASSERT_EQ(output("command -v pdftotext >/dev/null && command -v pdfinfo >/dev/null && echo yes"), "yes\n")
            << "poppler-utils (pdftotext, pdfinfo) are missing: scripts/setup installs them";
        SetProgramPaths(paths);
        SetDefaultSettings();
        services.shell = &shell;
        services.sound = &sound;
        services.profile = profile.get();
        frame = std::make_unique<CMainFrame>(services);
        ASSERT_TRUE(frame->OnCreate());
        InstallPrintCommands(*frame);
        ui::PageSetup a4; // A4 portrait, 10 mm margins
        prompter.queuePageSetup(a4);
        OnFilePrintSetup();
    }
    void TearDown() override
    {
        SetDefaultPrinterSource({});
        frame.reset();
        Headless::TearDown();
    }

    // A market watch stand-in: 120 securities under two exchange groups,
    // columns Symbol, Exch, LTP and a hidden Token column.
    ui::GridView* openWatch()
    {
        auto* view = new QWidget;
        auto* layout = new QVBoxLayout(view);
        auto* grid = new ui::GridView(view);
        layout->addWidget(grid);
        grid->setGridFont([] {
            QFont f(QStringLiteral("DejaVu Sans"));
            f.setPixelSize(12);
            return f;
        }());
        ui::GridModel& m = grid->model();
        m.setColumns({"Symbol", "Exch", "LTP", "Token"});
        for (int i = 1; i <= 120; ++i) {
            const int row = m.addRow();
            char symbol[16];
            std::snprintf(symbol, sizeof symbol, "SYM%03d", i);
            m.setText(row, 0, symbol);
            m.setText(row, 1, i % 2 ? "NSE" : "BSE");
            m.setText(row, 2, QString::number(100 + i) + ".25");
            m.setText(row, 3, QStringLiteral("TOK%1").arg(5000 + i));
        }
        grid->setColumnHidden(3, true);
        grid->setGroupColumns({1});
        m.flush();
        grid->expandAll(true);
        frame->Documents()->addDocument(view, QStringLiteral("Market Watch - Test"));
        return grid;
    }
    std::filesystem::path pdf(const std::string& name) const { return root / name; }
    ui::PrintChoice toFile(const std::string& name) const
    {
        ui::PrintChoice c;
        c.outputFile = pdf(name).string();
        return c;
    }

    CMainFrame::Services services;
    std::unique_ptr<CMainFrame> frame;
};

// 120 rows and 2 group rows at about 20 pixels a row: some 50 rows fit on a
// page of 277 mm (1047 pixels) under the title and the header, so three pages.
TEST_F(DocumentPrintTest, PrintSendsTheGridsShownColumnsAndRowsThroughThePrintDialog)
{
    EXPECT_FALSE(frame->Commands().invoke(ID_FILE_PRINT)) << "no window: nothing to print";
    openWatch();
    prompter.queuePrint(toFile("print.pdf"));
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT));
    EXPECT_EQ(prompter.printQuestions(), 1);
    EXPECT_EQ(pdfPages(pdf("print.pdf")), 3);
    const std::string first = pdfText(pdf("print.pdf"), 1);
    EXPECT_TRUE(has(first, "Market Watch - Test")) << first;
    EXPECT_TRUE(has(first, "Page 1 of 3"));
    EXPECT_TRUE(has(first, "Symbol"));
    EXPECT_TRUE(has(first, "LTP"));
    EXPECT_FALSE(has(first, "Token")) << "a hidden column is not printed";
    EXPECT_FALSE(has(pdfText(pdf("print.pdf")), "TOK5001"));
    // Groups in the order of their keys: BSE (the even symbols), then NSE.
    EXPECT_TRUE(has(first, "Exch: BSE (60)")) << "the group row's caption";
    EXPECT_TRUE(has(first, "SYM002"));
    EXPECT_TRUE(has(first, "102.25"));
    EXPECT_TRUE(has(pdfText(pdf("print.pdf")), "Exch: NSE (60)"));
    const std::string third = pdfText(pdf("print.pdf"), 3);
    EXPECT_TRUE(has(third, "Symbol")) << "every page repeats the header";
    EXPECT_TRUE(has(third, "SYM119"));

    // A cancelled dialog prints nothing.
    prompter.queuePrint(std::nullopt);
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT));
    EXPECT_EQ(prompter.printQuestions(), 2);
    EXPECT_FALSE(std::filesystem::exists(pdf("cancelled.pdf")));
}

// Columns wider than the page go on pages of their own, a band at a time; a
// landscape page takes two of the three 400-pixel columns. The page chosen in
// the print dialog, or in the print set-up, is the page of the later prints.
TEST_F(DocumentPrintTest, WideColumnsGoAcrossPagesAndTheChosenPageApplies)
{
    ui::GridView* grid = openWatch();
    grid->setGroupColumns({});
    grid->model().flush();
    for (int c = 0; c < 3; ++c)
        grid->setColumnWidth(c, 400);
    for (int id : grid->model().preorder())
        if (id >= 10)
            grid->model().removeRow(id); // SYM001 to SYM010 stay
    grid->model().flush();
    ASSERT_EQ(grid->model().rowTotal(), 10);

    // Portrait, 190 mm (718 pixels) wide: one column a page.
    prompter.queuePrint(toFile("portrait.pdf"));
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT));
    EXPECT_EQ(pdfPages(pdf("portrait.pdf")), 3);
    EXPECT_TRUE(has(pdfText(pdf("portrait.pdf"), 1), "SYM005"));
    EXPECT_TRUE(has(pdfText(pdf("portrait.pdf"), 2), "Exch"));
    EXPECT_TRUE(has(pdfText(pdf("portrait.pdf"), 3), "105.25"));

    // The dialog's landscape page, 277 mm (1047 pixels) wide: Symbol and
    // Exch, then LTP.
    ui::PrintChoice landscape = toFile("landscape.pdf");
    landscape.page.landscape = true;
    prompter.queuePrint(landscape);
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT));
    EXPECT_EQ(pdfPages(pdf("landscape.pdf")), 2);
    const std::string first = pdfText(pdf("landscape.pdf"), 1);
    EXPECT_TRUE(has(first, "SYM005") && has(first, "BSE"));
    EXPECT_FALSE(has(first, "105.25"));
    EXPECT_TRUE(has(pdfText(pdf("landscape.pdf"), 2), "105.25"));

    // That page stays for Quick Print, until the print set-up chooses another.
    const ui::PrintChoice quick = toFile("quick.pdf");
    SetDefaultPrinterSource([quick] { return std::optional<ui::PrintChoice>(quick); });
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT_DIRECT));
    EXPECT_EQ(pdfPages(pdf("quick.pdf")), 2);
    prompter.queuePageSetup(ui::PageSetup{});
    ASSERT_TRUE(OnFilePrintSetup());
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT_DIRECT));
    EXPECT_EQ(pdfPages(pdf("quick.pdf")), 3);
}

TEST_F(DocumentPrintTest, QuickPrintGoesStraightToTheDefaultPrinter)
{
    openWatch();
    SetDefaultPrinterSource([] { return std::optional<ui::PrintChoice>(); });
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT_DIRECT));
    ASSERT_FALSE(prompter.asks().empty());
    EXPECT_EQ(prompter.asks().back().text, "No printer is installed. Use Print to choose where the pages go.");

    const ui::PrintChoice target = toFile("quick.pdf");
    SetDefaultPrinterSource([target] { return std::optional<ui::PrintChoice>(target); });
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT_DIRECT));
    EXPECT_EQ(prompter.printQuestions(), 0) << "no dialog";
    EXPECT_EQ(pdfPages(pdf("quick.pdf")), 3);
    EXPECT_TRUE(has(pdfText(pdf("quick.pdf"), 2), "Symbol"));
}

TEST_F(DocumentPrintTest, PreviewShowsThePagesAndPrintsThem)
{
    openWatch();
    int previewPages = -1;
    modalHost.script("CPrintPreview", [&](ui::FormDriver& d) {
        previewPages = static_cast<CPrintPreview&>(d.form()).pageCount();
        d.click(CPrintPreview::kPrint);
    });
    prompter.queuePrint(toFile("preview.pdf"));
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT_PREVIEW));
    EXPECT_EQ(modalHost.runs().back(), "CPrintPreview");
    EXPECT_EQ(previewPages, 3);
    EXPECT_EQ(pdfPages(pdf("preview.pdf")), 3);
    EXPECT_TRUE(has(pdfText(pdf("preview.pdf"), 1), "SYM002"));
}

// A chart prints as its chart control does; a window without a grid prints
// its picture on one page.
TEST_F(DocumentPrintTest, AChartPrintsItselfAndOtherWindowsPrintTheirPicture)
{
    auto* chart = new SelfPrinting;
    frame->Documents()->addDocument(chart, QStringLiteral("INTRADAY-CHART [NIFTY 50]"));
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT));
    EXPECT_EQ(chart->prints, 1);
    EXPECT_EQ(prompter.printQuestions(), 0) << "the chart asks for itself";

    const ui::PrintChoice target = toFile("picture.pdf");
    SetDefaultPrinterSource([target] { return std::optional<ui::PrintChoice>(target); });
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT_DIRECT));
    EXPECT_EQ(pdfPages(pdf("picture.pdf")), 1);
    EXPECT_TRUE(has(pdfText(pdf("picture.pdf")), "INTRADAY-CHART [NIFTY 50]"));
}

} // namespace
