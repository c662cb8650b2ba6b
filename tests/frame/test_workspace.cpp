// The saved workspace: the open windows go to the profile at the close and
// come back in their groups and tab order; a deleted list is skipped; a
// damaged record changes nothing.
#include "frame/Workspace.h"

#include "app/base/AppSettings.h"
#include "app/base/ProgramPaths.h"
#include "frame/CMainFrame.h"
#include "frame/COutputBar.h"
#include "frame/MessageFiles.h"
#include "pf/profile_store.h"
#include "testkit/headless.h"
#include "ui/document_area.h"

#include <QDockWidget>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <sys/stat.h>
#include <unistd.h>

#include <set>

namespace {

// A pane layout whose dock area index lies far outside the four areas:
// QMainWindow::restoreState reads and writes out of bounds with it.
constexpr const char* kDamagedLayoutBase64 = "AAAA/wAAAAH9AAAAAQAQAAAAAAAAAAAAAPwCAAAAAA==";

class WorkspaceTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        SetProgramPaths(paths);
        SetDefaultSettings();
        services.profile = profile.get();
        services.saveSettings = [] {};
        makeFrame();

        // Market watches are labels named by their list; the order book is one.
        Workspace::Kind watch;
        watch.name = "Watchlist";
        watch.describe = [](QWidget* v) -> std::optional<std::string> {
            if (v->property("kind").toString() == "watch")
                return v->objectName().toStdString();
            return std::nullopt;
        };
        watch.open = [this](const std::string& list) -> QWidget* {
            ++opens;
            if (!lists.count(list))
                return nullptr;
            return addView("watch", list);
        };
        workspace.addKind(watch);
        Workspace::Kind orders;
        orders.name = "Orders";
        orders.describe = [](QWidget* v) -> std::optional<std::string> {
            if (v->property("kind").toString() == "orders")
                return std::string();
            return std::nullopt;
        };
        orders.open = [this](const std::string&) -> QWidget* {
            ++opens;
            return addView("orders", "");
        };
        workspace.addKind(orders);
    }
    void TearDown() override
    {
        frame.reset();
        Headless::TearDown();
    }
    void makeFrame()
    {
        frame.reset();
        frame = std::make_unique<CMainFrame>(services);
        ASSERT_TRUE(frame->OnCreate());
    }
    QWidget* addView(const char* kind, const std::string& name)
    {
        auto* view = new QLabel(QString::fromStdString(name));
        view->setObjectName(QString::fromStdString(name));
        view->setProperty("kind", kind);
        frame->Documents()->addDocument(view, QString::fromStdString(name.empty() ? "Orders" : name));
        return view;
    }
    // The newest line of the message bar's general tab, once one has come.
    QString lastGeneralMessage()
    {
        COutputBar& bar = *frame->OutputBar();
        if (!pumpUntil([&] { return bar.RowCount(MsgGeneral) > 0; }))
            return {};
        return bar.RowText(MsgGeneral, 0, 1);
    }
    // Kind and list of every open document with its group, in order.
    std::vector<std::string> shown() const
    {
        std::vector<std::string> out;
        for (QWidget* v : frame->Documents()->documents())
            out.push_back(std::to_string(frame->Documents()->groupOf(v)) + ":"
                          + v->property("kind").toString().toStdString() + ":" + v->objectName().toStdString());
        return out;
    }

    CMainFrame::Services services;
    std::unique_ptr<CMainFrame> frame;
    Workspace workspace;
    std::set<std::string> lists{"Banks", "Metals|Mining", "Pharma"};
    int opens = 0;
};

TEST_F(WorkspaceTest, WindowsComeBackInTheirGroupsAndTabOrder)
{
    frame->EnableTabGroups(true);
    addView("watch", "Banks");
    addView("orders", "");
    ui::DocumentArea& docs = *frame->Documents();
    QWidget* metals = addView("watch", "Metals|Mining");
    ASSERT_TRUE(docs.activateDocument(metals));
    ASSERT_TRUE(docs.newTabGroup(Qt::Vertical));
    addView("watch", "Pharma");
    auto* stray = new QLabel("not saved"); // a window of no known kind
    docs.addDocument(stray, "Stray");
    const std::vector<std::string> before = {"0:watch:Banks", "0:orders:", "1:watch:Metals|Mining", "1:watch:Pharma",
                                             "1::"};
    ASSERT_EQ(shown(), before);
    ASSERT_TRUE(workspace.save(*frame, *profile));

    // The file is private and holds the record.
    struct stat st {};
    ASSERT_EQ(::stat(profile->path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(profile->contains(Workspace::kSection, Workspace::kValue));

    // The next run: a new frame with no windows.
    makeFrame();
    frame->EnableTabGroups(true);
    const Workspace::RestoreResult r = workspace.restore(*frame, *profile);
    EXPECT_TRUE(r.found);
    EXPECT_FALSE(r.damaged);
    EXPECT_EQ(r.reopened, 4);
    EXPECT_EQ(r.skipped, 0);
    EXPECT_EQ(shown(), (std::vector<std::string>{"0:watch:Banks", "0:orders:", "1:watch:Metals|Mining",
                                                 "1:watch:Pharma"}));

    // With tab groups off everything opens in the one group, in order.
    makeFrame();
    frame->EnableTabGroups(false);
    workspace.restore(*frame, *profile);
    EXPECT_EQ(shown(), (std::vector<std::string>{"0:watch:Banks", "0:orders:", "0:watch:Metals|Mining",
                                                 "0:watch:Pharma"}));
}

// The window active at the close is active again after the restart, in one
// group or several; a record without the entry (an older version's) opens as
// before.
TEST_F(WorkspaceTest, TheActiveWindowIsActiveAgain)
{
    for (const bool groups : {false, true}) {
        SCOPED_TRACE(groups ? "tab groups" : "one group");
        makeFrame();
        frame->EnableTabGroups(groups);
        frame->show();
        ui::DocumentArea* docs = frame->Documents();
        addView("watch", "Banks");
        QWidget* pharma = addView("watch", "Pharma");
        if (groups) {
            ASSERT_TRUE(docs->newTabGroup(Qt::Vertical));
        }
        addView("orders", "");
        ASSERT_TRUE(docs->activateDocument(pharma));
        ASSERT_EQ(docs->activeDocument(), pharma);
        ASSERT_TRUE(workspace.save(*frame, *profile));

        makeFrame();
        frame->EnableTabGroups(groups);
        frame->show();
        EXPECT_EQ(workspace.restore(*frame, *profile).reopened, 3);
        ASSERT_NE(frame->Documents()->activeDocument(), nullptr);
        EXPECT_EQ(frame->Documents()->activeDocument()->objectName(), "Pharma");
    }
    std::string old = profile->getText(Workspace::kSection, Workspace::kValue);
    const size_t at = old.find("active=");
    ASSERT_NE(at, std::string::npos);
    old.erase(at, old.find('\n', at) + 1 - at);
    ASSERT_TRUE(ParseWorkspace(old).has_value());
    EXPECT_EQ(ParseWorkspace(old)->active, -1);
}

TEST_F(WorkspaceTest, DeletedListIsSkippedAndTheOthersOpen)
{
    addView("watch", "Banks");
    addView("watch", "Pharma");
    addView("orders", "");
    ASSERT_TRUE(workspace.save(*frame, *profile));
    lists.erase("Pharma");
    makeFrame();
    const Workspace::RestoreResult r = workspace.restore(*frame, *profile);
    EXPECT_EQ(r.reopened, 2);
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(shown(), (std::vector<std::string>{"0:watch:Banks", "0:orders:"}));
    // The user is told which window did not come back, not only the log.
    EXPECT_EQ(lastGeneralMessage(), "The saved window Watchlist \"Pharma\" could not be reopened.");
}

// Modeless windows outside the document area (the depth windows) come back
// where they were, beside the documents; one whose security is gone is named
// on the message bar as its kind names it, and the others still open.
TEST_F(WorkspaceTest, ModelessWindowsComeBackInTheirPlaces)
{
    std::vector<QWidget*> depths; // open, oldest first
    std::set<std::string> securities{"NN|11", "NN|22"};
    Workspace::Kind depth;
    depth.name = "Market Depth";
    depth.describe = [](QWidget* v) -> std::optional<std::string> {
        if (v->property("kind").toString() == "depth")
            return v->objectName().toStdString();
        return std::nullopt;
    };
    const auto openDepth = [&depths](const std::string& security) {
        auto* w = new QLabel(QString::fromStdString(security));
        w->setObjectName(QString::fromStdString(security));
        w->setProperty("kind", "depth");
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->show();
        depths.push_back(w);
        return w;
    };
    depth.open = [&](const std::string& security) -> QWidget* {
        return securities.count(security) ? openDepth(security) : nullptr;
    };
    depth.label = [](const std::string& security) { return "Market Depth of " + security; };
    depth.windows = [&depths] { return depths; };
    workspace.addKind(depth);

    addView("watch", "Banks");
    openDepth("NN|11")->setGeometry(50, 60, 320, 240);
    openDepth("NN|22")->setGeometry(400, 60, 320, 240);
    ASSERT_TRUE(workspace.save(*frame, *profile));
    const std::string saved = profile->getText(Workspace::kSection, Workspace::kValue);
    EXPECT_NE(saved.find("win=0|50|60|320|240|0|Market Depth|NN|11\n"), std::string::npos) << saved;
    for (QWidget* w : depths)
        delete w;
    depths.clear();

    securities.erase("NN|11");
    makeFrame();
    const Workspace::RestoreResult r = workspace.restore(*frame, *profile);
    EXPECT_EQ(r.reopened, 2);
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(shown(), (std::vector<std::string>{"0:watch:Banks"}));
    ASSERT_EQ(depths.size(), 1u);
    EXPECT_EQ(depths[0]->objectName(), "NN|22");
    EXPECT_EQ(depths[0]->geometry(), QRect(400, 60, 320, 240));
    EXPECT_EQ(lastGeneralMessage(), "The saved window Market Depth of NN|11 could not be reopened.");
    for (QWidget* w : depths)
        delete w;
}

TEST_F(WorkspaceTest, NothingStoredOpensNothing)
{
    const Workspace::RestoreResult r = workspace.restore(*frame, *profile);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(opens, 0);
    EXPECT_TRUE(frame->Documents()->documents().empty());
}

// The record with its "docks=" value changed by `change`.
std::string withLayout(const std::string& record, const std::function<void(std::string&)>& change)
{
    const size_t at = record.find("docks=") + 6;
    const size_t end = record.find('\n', at);
    std::string layout = record.substr(at, end - at);
    change(layout);
    return record.substr(0, at) + layout + record.substr(end);
}

TEST_F(WorkspaceTest, DamagedRecordChangesNothing)
{
    addView("watch", "Banks");
    ASSERT_TRUE(workspace.save(*frame, *profile));
    const std::string good = profile->getText(Workspace::kSection, Workspace::kValue);
    ASSERT_TRUE(ParseWorkspace(good).has_value());
    const size_t docLine = good.find("doc=");
    ASSERT_NE(docLine, std::string::npos);

    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"other header", "Vortanex workspace 9\n" + good.substr(good.find('\n') + 1)},
        {"cut short", good.substr(0, good.size() - 4)},
        {"bad number", std::string(good).replace(docLine, 5, "doc=x")},
        {"negative width", "Vortanex workspace 1\nstacking=0\ndoc=0|0|0|-5|10|0|Watchlist|Banks\ndocks=\nend\n"},
        {"no kind", "Vortanex workspace 1\nstacking=0\ndoc=0|0|0|5|10|0||Banks\ndocks=\nend\n"},
        {"groups out of order",
         "Vortanex workspace 1\nstacking=0\ndoc=1|0|0|5|5|0|Watchlist|Banks\ndoc=0|0|0|5|5|0|Orders|\ndocks=\nend\n"},
        {"skipped group", "Vortanex workspace 1\nstacking=0\ndoc=2|0|0|5|5|0|Watchlist|Banks\ndocks=\nend\n"},
        {"bad pane layout", "Vortanex workspace 1\nstacking=0\ndocks=***\nend\n"},
        {"unknown entry", "Vortanex workspace 1\nstacking=0\nwindow=1\ndocks=\nend\n"},
        {"missing entry", "Vortanex workspace 1\nstacking=0\nend\n"},
        {"twice stacked", "Vortanex workspace 1\nstacking=0\nstacking=1\ndocks=\nend\n"},
        {"active past the windows",
         "Vortanex workspace 1\nstacking=0\ndoc=0|0|0|0|0|0|Watchlist|Banks\nactive=1\ndocks=\nend\n"},
        {"bad active", "Vortanex workspace 1\nstacking=0\ndoc=0|0|0|0|0|0|Watchlist|Banks\nactive=-1\ndocks=\nend\n"},
        // The panes' layout must match the length and checksum beside it.
        {"layout changed", withLayout(good, [](std::string& layout) { layout[layout.size() - 5] ^= 1; })},
        {"layout longer", withLayout(good, [](std::string& layout) { layout.insert(layout.rfind('|') + 1, "AAAA"); })},
        {"length changed", withLayout(good, [](std::string& layout) { layout.insert(0, "1"); })},
        {"checksum changed", withLayout(good, [](std::string& layout) { layout[layout.find('|') + 1] ^= 1; })},
        {"layout without checksum", "Vortanex workspace 2\nstacking=0\ndocks=\nend\n"},
        {"modeless window in a group", withLayout(good, [](std::string& layout) {
             layout += "\nwin=1|0|0|5|5|0|Market Depth|NN|11";
         })},
        {"modeless window without kind", withLayout(good, [](std::string& layout) {
             layout += "\nwin=0|0|0|5|5|0||NN|11";
         })},
        {"layout too large", "Vortanex workspace 2\nstacking=0\ndocks=2000000|" + std::string(64, '0') + "|\nend\n"},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(ParseWorkspace(c.text, &why).has_value()) << c.name;
        EXPECT_FALSE(why.empty()) << c.name;

        ASSERT_TRUE(profile->setText(Workspace::kSection, Workspace::kValue, c.text));
        makeFrame();
        const QByteArray docks = frame->saveState(Workspace::kDockStateVersion);
        opens = 0;
        const Workspace::RestoreResult r = workspace.restore(*frame, *profile);
        EXPECT_TRUE(r.damaged) << c.name;
        EXPECT_EQ(opens, 0) << c.name;
        EXPECT_TRUE(frame->Documents()->documents().empty()) << c.name;
        EXPECT_EQ(frame->saveState(Workspace::kDockStateVersion), docks) << c.name;
        // The stored record is left for the user to see; the next close replaces it.
        EXPECT_EQ(profile->getText(Workspace::kSection, Workspace::kValue), c.text) << c.name;
        EXPECT_TRUE(lastGeneralMessage().contains("could not be read")) << c.name;
    }
}

// Tabs have no place of their own; free windows (after "Tile") come back
// free, where they were.
TEST_F(WorkspaceTest, FreeWindowsComeBackInTheirPlaces)
{
    frame->resize(1200, 900);
    frame->show();
    addView("watch", "Banks");
    ASSERT_TRUE(workspace.save(*frame, *profile));
    EXPECT_NE(profile->getText(Workspace::kSection, Workspace::kValue).find("doc=0|0|0|0|0|0|Watchlist|Banks"),
              std::string::npos)
        << "a tab was saved with a place";

    QWidget* pharma = addView("watch", "Pharma");
    frame->Documents()->tile(Qt::Vertical);
    auto* sub = qobject_cast<QMdiSubWindow*>(pharma->parentWidget());
    ASSERT_NE(sub, nullptr);
    sub->setGeometry(40, 30, 300, 200);
    ASSERT_TRUE(workspace.save(*frame, *profile));

    makeFrame();
    frame->resize(1200, 900);
    frame->show();
    workspace.restore(*frame, *profile);
    QWidget* back = nullptr;
    for (QWidget* v : frame->Documents()->documents())
        if (v->objectName() == "Pharma")
            back = v;
    ASSERT_NE(back, nullptr);
    auto* backSub = qobject_cast<QMdiSubWindow*>(back->parentWidget());
    ASSERT_NE(backSub, nullptr);
    EXPECT_EQ(backSub->mdiArea()->viewMode(), QMdiArea::SubWindowView);
    EXPECT_EQ(backSub->geometry(), QRect(40, 30, 300, 200));
}

TEST_F(WorkspaceTest, PaneLayoutComesBack)
{
    frame->show();
    QDockWidget* messages = frame->findChild<QDockWidget*>("Messages");
    ASSERT_NE(messages, nullptr);
    QDockWidget* charts = frame->findChild<QDockWidget*>("Charts");
    ASSERT_NE(charts, nullptr);
    frame->removeDockWidget(messages);
    frame->addDockWidget(Qt::RightDockWidgetArea, messages);
    messages->show();
    charts->hide();
    ASSERT_TRUE(workspace.save(*frame, *profile));

    makeFrame();
    frame->show();
    messages = frame->findChild<QDockWidget*>("Messages");
    charts = frame->findChild<QDockWidget*>("Charts");
    ASSERT_NE(frame->dockWidgetArea(messages), Qt::RightDockWidgetArea);
    workspace.restore(*frame, *profile);
    EXPECT_EQ(frame->dockWidgetArea(messages), Qt::RightDockWidgetArea);
    EXPECT_TRUE(charts->isHidden());
}

// A pane layout QMainWindow::restoreState reads out of bounds: an older
// record (no length, no checksum) with it reopens its windows, leaves the
// panes as they are and says so; the next close saves a record whose layout
// comes back.
TEST_F(WorkspaceTest, AnOlderRecordsLayoutIsNotRestored)
{
    frame->show();
    const std::string old = "Vortanex workspace 1\nstacking=0\ndoc=0|0|0|0|0|0|Watchlist|Banks\n"
                            "docks=" + std::string(kDamagedLayoutBase64) + "\nend\n";
    ASSERT_TRUE(profile->setText(Workspace::kSection, Workspace::kValue, old));
    QDockWidget* messages = frame->findChild<QDockWidget*>("Messages");
    ASSERT_NE(messages, nullptr);
    const QByteArray docks = frame->saveState(Workspace::kDockStateVersion);
    const Workspace::RestoreResult r = workspace.restore(*frame, *profile);
    EXPECT_FALSE(r.damaged);
    EXPECT_TRUE(r.layoutUnchecked);
    EXPECT_EQ(r.reopened, 1);
    EXPECT_EQ(shown(), (std::vector<std::string>{"0:watch:Banks"}));
    EXPECT_EQ(frame->saveState(Workspace::kDockStateVersion), docks);
    EXPECT_TRUE(lastGeneralMessage().contains("pane layout could not be checked")) << lastGeneralMessage().toStdString();

    // Moved and saved: the new record's layout is restored.
    frame->removeDockWidget(messages);
    frame->addDockWidget(Qt::RightDockWidgetArea, messages);
    messages->show();
    ASSERT_TRUE(workspace.save(*frame, *profile));
    makeFrame();
    frame->show();
    messages = frame->findChild<QDockWidget*>("Messages");
    const Workspace::RestoreResult again = workspace.restore(*frame, *profile);
    EXPECT_FALSE(again.layoutUnchecked);
    EXPECT_EQ(frame->dockWidgetArea(messages), Qt::RightDockWidgetArea);
}

// The marker is on disk while the windows reopen and gone after; a start
// that finds it (the last one died while reopening) reopens nothing, says so
// and clears it, so the start after reopens again.
TEST_F(WorkspaceTest, AStartThatDiedWhileRestoringMakesTheNextSkipIt)
{
    addView("watch", "Banks");
    ASSERT_TRUE(workspace.save(*frame, *profile));
    const auto markerOnDisk = [this] {
        return pf::ProfileStore(profile->path()).contains(Workspace::kSection, Workspace::markerFor("", getpid()));
    };
    // A kind whose opener looks at the file while it runs.
    Workspace watching;
    bool markedWhileOpening = false;
    Workspace::Kind watch = workspace.kinds().front();
    const auto open = watch.open;
    watch.open = [&](const std::string& list) {
        markedWhileOpening = markerOnDisk();
        return open(list);
    };
    watching.addKind(watch);
    makeFrame();
    EXPECT_EQ(watching.restore(*frame, *profile).reopened, 1);
    EXPECT_TRUE(markedWhileOpening);
    EXPECT_FALSE(markerOnDisk());

    // As a start of an older version that died in the restore leaves it.
    ASSERT_TRUE(profile->setInt(Workspace::kSection, Workspace::kRestoringValue, 1));
    makeFrame();
    opens = 0;
    const Workspace::RestoreResult r = workspace.restore(*frame, *profile);
    EXPECT_TRUE(r.interrupted);
    EXPECT_EQ(r.reopened, 0);
    EXPECT_EQ(opens, 0);
    EXPECT_TRUE(frame->Documents()->documents().empty());
    EXPECT_TRUE(lastGeneralMessage().contains("stopped while reopening")) << lastGeneralMessage().toStdString();
    EXPECT_FALSE(markerOnDisk());
    EXPECT_TRUE(profile->contains(Workspace::kSection, Workspace::kValue));

    makeFrame();
    EXPECT_EQ(workspace.restore(*frame, *profile).reopened, 1);
}

} // namespace
