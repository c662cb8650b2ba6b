#include "app/CAboutDlg.h"
#include "app/CMyProgressDlg.h"
#include "app/CVortanexDoc.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "frame/ImageCollections.h"
#include "app/base/LogWriter.h"

#include "pf/files.h"
#include "testkit/headless.h"
#include "ui/document_area.h"
#include "ui/form_driver.h"

#include <QCloseEvent>
#include <QCoreApplication>

#include <QWidget>

#include <memory>
#include <string>
#include <thread>

namespace {

// A book view as its document sees it; closing it clears the program-wide
// pointer that names it, as the trade and trailing stop-loss books do.
class FakeView final : public QWidget, public DocumentView {
public:
    FakeView(std::string name, FakeView** global, QWidget* parent)
        : QWidget(parent), m_name(std::move(name)), m_global(global)
    {
        if (m_global)
            *m_global = this;
    }
    std::string_view viewClassName() const override { return m_name; }
    bool isClosed() const override { return closed; }
    void closeFromFrame() override
    {
        closed = true;
        ++closes;
        if (m_global)
            *m_global = nullptr;
    }
    void closingStep() override { ++steps; }

    bool closed = false;
    int closes = 0;
    int steps = 0;

private:
    std::string m_name;
    FakeView** m_global;
};

class AppWindowsTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        StartLog(paths);
    }
    void TearDown() override
    {
        CMyProgressDlg::CloseCurrent();
        CloseLog();
        Headless::TearDown();
    }
    size_t count(const std::string& text) const
    {
        const std::string log = pf::files::readAll(CurrentLogPath()).value_or("");
        size_t n = 0;
        for (size_t at = 0; (at = log.find(text, at)) != std::string::npos; ++at)
            ++n;
        return n;
    }
};

TEST_F(AppWindowsTest, ClosingATradeBookClearsItsPointerOnce)
{
    FakeView* tradeView = nullptr;
    QWidget frame;
    auto* view = new FakeView("CTradeView", &tradeView, &frame);
    CVortanexDoc doc;
    doc.PreCloseFrame(&frame);
    EXPECT_EQ(tradeView, nullptr) << "the next trade command opens a new book";
    EXPECT_EQ(view->closes, 1);
    EXPECT_EQ(count("Exit : CVortanexDoc::PreCloseFrame"), 1u);

    doc.PreCloseFrame(&frame); // already closed: left alone, without the exit line
    EXPECT_EQ(view->closes, 1);
    EXPECT_EQ(count("Entry : CVortanexDoc::PreCloseFrame"), 2u);
    EXPECT_EQ(count("Exit : CVortanexDoc::PreCloseFrame"), 1u);
}

TEST_F(AppWindowsTest, TrailingStopLossBookRunsItsClosingStepEvenWhenClosed)
{
    FakeView* tsloView = nullptr;
    FakeView view("CTsloOrderView", &tsloView, nullptr);
    CVortanexDoc doc;
    doc.PreCloseFrame(&view);
    doc.PreCloseFrame(&view);
    EXPECT_EQ(view.steps, 2);
    EXPECT_EQ(view.closes, 1);
    EXPECT_EQ(tsloView, nullptr);

    FakeView other("COptionCalcView", nullptr, nullptr);
    doc.PreCloseFrame(&other);
    doc.PreCloseFrame(nullptr);
    EXPECT_EQ(other.closes, 0) << "views of other classes have no close handling here";
}

// A chart view in a document window: counts its close handling in a
// counter that outlives it, and may refuse its own close (a download in
// flight the user keeps).
class ChartLikeView final : public QWidget, public DocumentView {
public:
    explicit ChartLikeView(int* closes) : m_closes(closes) {}
    std::string_view viewClassName() const override { return "CEodChartView"; }
    bool isClosed() const override { return closed; }
    void closeFromFrame() override
    {
        closed = true;
        ++*m_closes;
    }
    bool refuse = false;
    bool closed = false;

protected:
    void closeEvent(QCloseEvent* event) override { event->setAccepted(!refuse); }

private:
    int* m_closes;
};

TEST_F(AppWindowsTest, ClosingDocumentWindowsRunsEachViewsCloseHandlingOnce)
{
    int closes[3] = {0, 0, 0};
    auto docs = std::make_unique<ui::DocumentArea>();
    InstallDocumentClosing(*docs);
    docs->resize(600, 400);
    docs->show();
    ChartLikeView* views[3];
    for (int i = 0; i < 3; ++i) {
        views[i] = new ChartLikeView(&closes[i]);
        docs->addDocument(views[i], QString("Chart %1").arg(i));
    }
    // The close command on the active one (the last added); a view that
    // refuses keeps its window and is not told.
    views[2]->refuse = true;
    EXPECT_FALSE(docs->closeActive());
    EXPECT_EQ(closes[2], 0);
    views[2]->refuse = false;
    EXPECT_TRUE(docs->closeActive());
    EXPECT_EQ(closes[2], 1);
    // A tab's close button closes the window the same way.
    ASSERT_TRUE(docs->activateDocument(views[0]));
    ASSERT_TRUE(views[0]->parentWidget());
    EXPECT_TRUE(views[0]->parentWidget()->close());
    EXPECT_EQ(closes[0], 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The exit: the one still open is told as the area goes, the others not again.
    docs.reset();
    EXPECT_EQ(closes[0], 1);
    EXPECT_EQ(closes[1], 1);
    EXPECT_EQ(closes[2], 1);
    EXPECT_EQ(count("Exit : CVortanexDoc::PreCloseFrame"), 3u);
}

TEST_F(AppWindowsTest, ProgressDialogTakesMessagesAndStepsFromAnyThread)
{
    ShowProgressMessage("before"); // no dialog: nothing happens
    QWidget mainFrame;
    CMyProgressDlg* dlg = CMyProgressDlg::Show(&mainFrame, "Vortanex", "Hello", "Checking Security Date");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(g_pProgressDlg, dlg);
    EXPECT_EQ(dlg->Message(), "Checking Security Date");
    dlg->SetRange(0, 4);
    dlg->SetStep(2);

    std::thread worker([] {
        ShowProgressMessage("Downloading Security Information");
        StepProgress();
    });
    worker.join();
    ASSERT_TRUE(pumpUntil([&] { return dlg->Position() == 2; }));
    EXPECT_EQ(dlg->Message(), "Downloading Security Information");
    dlg->StepIt();
    dlg->StepIt(); // past the upper end it starts over
    EXPECT_EQ(dlg->Position(), 1);

    CMyProgressDlg::CloseCurrent();
    EXPECT_EQ(g_pProgressDlg, nullptr);
    ShowProgressMessage("after");
    StepProgress();
}

TEST_F(AppWindowsTest, ImageCollectionsLoadByResourceId)
{
    LoadImageCollections();
    const ImageCollection* trading = GetImageCollection(273);
    ASSERT_NE(trading, nullptr);
    EXPECT_EQ(trading->imageSize(), QSize(16, 16));
    EXPECT_GE(trading->count(), 8) << "the order form takes icons 0, 3, 5 and 7";
    EXPECT_FALSE(trading->image(7).isNull());
    EXPECT_TRUE(trading->image(trading->count()).isNull());
    const ImageCollection* stars = GetImageCollection(290);
    ASSERT_NE(stars, nullptr);
    EXPECT_EQ(stars->imageSize(), QSize(32, 32));
    for (int id : {266, 267, 268, 269, 270, 233, 271, 272, 274, 302, 304})
        EXPECT_NE(GetImageCollection(id), nullptr) << id;
    EXPECT_EQ(GetImageCollection(281), nullptr);
    EXPECT_EQ(count("Tool Bar Failed."), 0u);
}

TEST_F(AppWindowsTest, AboutBoxOpensTheBrokersSite)
{
    CopyFixedText(g_Config.Redirect_Url, "https://broker.example");
    modalHost.script("CAboutDlg", [](ui::FormDriver& driver) {
        EXPECT_EQ(driver.form().windowTitle(), "About Vortanex");
        EXPECT_EQ(driver.form().text(CAboutDlg::kBuildText), "Build Number 2.3.0.20");
        driver.click(CAboutDlg::kSiteLink).click(1);
    });
    CAboutDlg dlg(shell);
    EXPECT_EQ(ui::modalHost().run(dlg), 1);
    ASSERT_EQ(shell.calls().size(), 1u);
    EXPECT_EQ(shell.calls()[0].target, "https://broker.example");
    g_Config = ConfigRecord{};
}

} // namespace
