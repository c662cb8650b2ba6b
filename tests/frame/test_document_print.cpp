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
#include "ui/qt_prompter.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>
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

// The first page's size as pdfinfo gives it, e.g. "420 x 595 pts (A5)".
std::string pdfPageSize(const std::filesystem::path& pdf)
{
    const std::string info = output("pdfinfo '" + pdf.string() + "' 2>/dev/null");
    const size_t at = info.find("Page size:");
    if (at == std::string::npos)
        return {};
    const size_t start = info.find_first_not_of(' ', at + 10);
    return info.substr(start, info.find('\n', start) - start);
}

// The toolkit's own dialogs, driven through their widgets as a user does:
// act on the dialog once it is up, then press its OK button.
void whenModal(std::function<void(QWidget&)> act)
{
    QTimer::singleShot(0, [act = std::move(act)] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

void pressOk(QWidget& dialog)
{
    auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* b : box->buttons())
        if (box->buttonRole(b) == QDialogButtonBox::AcceptRole) {
            b->click();
            return;
        }
    FAIL() << "no OK button";
}

void choosePaper(QWidget& dialog, const QString& paper)
{
    auto* sizes = dialog.findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
    ASSERT_NE(sizes, nullptr);
    const int at = sizes->findText(paper, Qt::MatchStartsWith);
    ASSERT_GE(at, 0) << paper.toStdString();
    sizes->setCurrentIndex(at);
}

QString shownPaper(QWidget& dialog)
{
    auto* sizes = dialog.findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
    return sizes ? sizes->currentText() : QString();
}

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

// The program's prompter, with the toolkit's page set-up and print dialogs:
// a paper other than A4, Legal, Letter or A3 chosen in Print Setup is the
// paper of Quick Print, of the print dialog and of the next Print Setup; the
// print dialog's "Pages 2 to 2" and two copies print that page twice, keeping
// its number, on the paper chosen in the dialog's own properties.
TEST_F(DocumentPrintTest, TheToolkitsDialogsChooseThePaperThePagesAndTheCopies)
{
    openWatch();
    ui::QtPrompter dialogs;
    ui::setPrompter(&dialogs);
    struct Restore {
        ui::Prompter* scripted;
        ~Restore() { ui::setPrompter(scripted); }
    } restore{&prompter};

    whenModal([](QWidget& d) {
        choosePaper(d, QStringLiteral("A5"));
        pressOk(d);
    });
    ASSERT_TRUE(OnFilePrintSetup());
    // A5: 148 x 210 mm, 419.53 x 595.28 points, whole points in the file.
    const ui::PrintChoice quick = toFile("quick-a5.pdf");
    SetDefaultPrinterSource([quick] { return std::optional<ui::PrintChoice>(quick); });
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT_DIRECT));
    EXPECT_TRUE(has(pdfPageSize(pdf("quick-a5.pdf")), "420 x 595 pts")) << pdfPageSize(pdf("quick-a5.pdf"));
    const int allPages = pdfPages(pdf("quick-a5.pdf"));
    EXPECT_GE(allPages, 4) << "122 rows of 20 pixels on 190 mm (718 pixels) of paper";

    // The print dialog shows that paper; its properties choose B5 (176 x 250
    // mm, 498.90 x 708.66 points), its range page 2 only, two copies.
    QString paperInDialog;
    const std::string out = pdf("range.pdf").string();
    whenModal([&](QWidget& d) {
        d.findChild<QLineEdit*>(QStringLiteral("filename"))->setText(QString::fromStdString(out));
        whenModal([&](QWidget& properties) {
            paperInDialog = shownPaper(properties);
            choosePaper(properties, QStringLiteral("B5"));
            pressOk(properties);
        });
        d.findChild<QPushButton*>(QStringLiteral("properties"))->click();
        d.findChild<QRadioButton*>(QStringLiteral("printRange"))->setChecked(true);
        d.findChild<QSpinBox*>(QStringLiteral("from"))->setValue(2);
        d.findChild<QSpinBox*>(QStringLiteral("to"))->setValue(2);
        d.findChild<QSpinBox*>(QStringLiteral("copies"))->setValue(2);
        pressOk(d);
    });
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT));
    EXPECT_TRUE(paperInDialog.startsWith(QStringLiteral("A5"))) << paperInDialog.toStdString();
    EXPECT_TRUE(has(pdfPageSize(pdf("range.pdf")), "499 x 709 pts")) << pdfPageSize(pdf("range.pdf"));
    EXPECT_EQ(pdfPages(pdf("range.pdf")), 2);
    for (int page : {1, 2})
        EXPECT_TRUE(has(pdfText(pdf("range.pdf"), page), "Page 2 of")) << page;

    // The dialog's paper is the next Print Setup's, and Quick Print's.
    QString paperInSetup;
    whenModal([&](QWidget& d) {
        paperInSetup = shownPaper(d);
        pressOk(d);
    });
    OnFilePrintSetup();
    EXPECT_TRUE(paperInSetup.startsWith(QStringLiteral("B5"))) << paperInSetup.toStdString();
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT_DIRECT));
    EXPECT_TRUE(has(pdfPageSize(pdf("quick-a5.pdf")), "499 x 709 pts")) << pdfPageSize(pdf("quick-a5.pdf"));
}

// A column folded to no width is away on paper too, not a narrow column of
// cut texts.
TEST_F(DocumentPrintTest, AColumnFoldedAwayDoesNotPrint)
{
    ui::GridView* grid = openWatch();
    grid->setColumnWidth(2, 0); // LTP
    prompter.queuePrint(toFile("folded.pdf"));
    ASSERT_TRUE(frame->Commands().invoke(ID_FILE_PRINT));
    const std::string first = pdfText(pdf("folded.pdf"), 1);
    EXPECT_TRUE(has(first, "Symbol") && has(first, "SYM002"));
    EXPECT_FALSE(has(first, "LTP"));
    EXPECT_FALSE(has(first, "102.25"));
    EXPECT_FALSE(has(first, "\u2026")) << first;
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
