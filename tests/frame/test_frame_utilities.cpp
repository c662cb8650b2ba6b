// The image holder, the whole-file line reader and the ribbon's run-time parts.
#include "frame/CImageFile.h"
#include "frame/FrameUtilities.h"

#include "testkit/headless.h"
#include "ui/dock_pane.h"
#include "ui/command_bar.h"
#include "ui/commands.h"

#include <QAction>
#include <QApplication>
#include <QPalette>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>

#include <fstream>

namespace {

class FrameUtilitiesTest : public testkit::Headless {
protected:
    std::string writeFile(const std::string& name, const std::string& bytes)
    {
        const std::string path = (root / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string writeImage(const std::string& name, int w, int h)
    {
        const std::string path = (root / name).string();
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(Qt::darkCyan);
        EXPECT_TRUE(img.save(QString::fromStdString(path), "PNG"));
        return path;
    }
};

TEST_F(FrameUtilitiesTest, ImageIsScaledByTheTargetSize)
{
    struct Case {
        int w, h;
        double e;
        int outW, outH;
    };
    const Case cases[] = {
        {400, 200, 200, 200, 100}, // shrinks to the target width
        {200, 400, 200, 200, 400}, // upscale rule: width e, height ratio x e
        {100, 100, 50, 50, 50},
        {300, 100, 600, 600, 200},
    };
    for (const Case& c : cases) {
        CImageFile image;
        ASSERT_TRUE(image.Load(writeImage("in.png", c.w, c.h)));
        const std::string out = (root / "out.jpg").string();
        ASSERT_TRUE(image.SaveAsJpeg(out, "JPG", c.e)) << c.w << "x" << c.h;
        QImageReader reader(QString::fromStdString(out));
        EXPECT_EQ(reader.format(), "jpeg");
        EXPECT_EQ(reader.size(), QSize(c.outW, c.outH)) << c.w << "x" << c.h << " @" << c.e;
    }
    CImageFile image;
    ASSERT_TRUE(image.Load(writeImage("a.png", 40, 20)));
    EXPECT_FALSE(image.SaveAsJpeg((root / "a.ico").string(), "ICO", 20));
    EXPECT_FALSE(std::filesystem::exists(root / "a.ico"));
    EXPECT_FALSE(image.SaveAsJpeg("", "PNG", 20));
    EXPECT_FALSE(image.SaveAsJpeg((root / "b.png").string(), "PNG", 0));
    EXPECT_TRUE(image.SaveAsJpeg((root / "b.png").string(), "PNG", 20));

    EXPECT_FALSE(image.Load(writeFile("not.png", "not an image")));
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_FALSE(image.SaveAsJpeg((root / "c.jpg").string(), "JPG", 20));
}

TEST_F(FrameUtilitiesTest, ReadFileToArrayCutsLinesAndReportsErrors)
{
    std::string error;
    std::vector<std::string> lines;
    EXPECT_EQ(ReadFileToArray(writeFile("empty.txt", ""), error, lines), 0);
    EXPECT_EQ(error, "Error : No Data in File.");

    error.clear();
    EXPECT_EQ(ReadFileToArray((root / "missing.txt").string(), error, lines), -1);
    EXPECT_EQ(error, "Error : Getting File Stats Failed.");

    EXPECT_EQ(ReadFileToArray(writeFile("crlf.txt", "  Linux 6.1\r\n\r\nx86_64\r\nDebian 12\r\n  "), error, lines),
              3);
    EXPECT_EQ(lines, (std::vector<std::string>{"Linux 6.1", "x86_64", "Debian 12"}));

    // Lines are appended to what the array already holds.
    EXPECT_EQ(ReadFileToArray(writeFile("cr.txt", "a\rb"), error, lines), 5);
    EXPECT_EQ(lines.back(), "b");
}

TEST_F(FrameUtilitiesTest, PngResourceMissingIsFalse)
{
    QImage image;
    EXPECT_FALSE(LoadPngResource(image, "no-such-picture"));
    EXPECT_TRUE(image.isNull());
}

TEST_F(FrameUtilitiesTest, RibbonTakesRunTimeCategoriesAndPopupButtons)
{
    ui::Commands commands;
    ui::CommandBar bar(commands);
    int links = 0;
    commands.addRange(33219, 33268, [&](int) { ++links; });
    const int web = bar.addCategory("&WebLinks");
    const int panel = bar.addPanel(web, "Research");
    bar.addButton(panel, 33219, "Reports");
    bar.addGroupButton(panel, 33269, "More", {{33220, "Charges"}, {33221, "Margins"}});
    CMyRibbonBtnPopupDlg dayEvents(33375, "Day Events", [](QWidget* parent) { return new QLabel("x", parent); });
    dayEvents.AddTo(bar, panel);
    EXPECT_EQ(bar.panelCommands(panel), (std::vector<int>{33219, 33269, 33220, 33221, 33375}));
    EXPECT_EQ(bar.addCategory("&WebLinks"), web); // a name given twice is the same category
    EXPECT_TRUE(bar.trigger(33220));
    EXPECT_EQ(links, 1);
    EXPECT_FALSE(bar.trigger(33375)); // no handler: disabled

    CMyRibbonBtnPopupDlg copy(0, "", {});
    copy.CopyFrom(dayEvents);
    EXPECT_EQ(copy.Id(), 33375);
    EXPECT_EQ(copy.Text(), "Day Events");

    EXPECT_TRUE(bar.removePanel(web, "Research"));
    EXPECT_TRUE(bar.panelNames(web).isEmpty());
    EXPECT_TRUE(bar.removeCategory("&WebLinks"));
    EXPECT_EQ(bar.findCategory("&WebLinks"), -1);
    EXPECT_FALSE(bar.removeCategory("&WebLinks"));
}

TEST_F(FrameUtilitiesTest, PaneCollapsesToItsTitleAndBack)
{
    QMainWindow main;
    auto* left = new ui::DockPane("Watchlists", &main);
    left->setWidget(new QLabel("lists"));
    auto* bottom = new ui::DockPane("Messages", &main);
    bottom->setWidget(new QLabel("rows"));
    main.addDockWidget(Qt::LeftDockWidgetArea, left);
    main.addDockWidget(Qt::BottomDockWidgetArea, bottom);
    main.resize(800, 600);
    main.show();

    left->setCollapsed(true);
    EXPECT_TRUE(left->isCollapsed());
    EXPECT_TRUE(left->widget()->isHidden());
    EXPECT_TRUE(left->features() & QDockWidget::DockWidgetVerticalTitleBar); // a strip at the edge
    EXPECT_LE(left->maximumWidth(), 24);
    left->setCollapsed(false);
    EXPECT_FALSE(left->widget()->isHidden());
    EXPECT_FALSE(left->features() & QDockWidget::DockWidgetVerticalTitleBar);
    EXPECT_GT(left->maximumWidth(), 24);

    bottom->setCollapsed(true);
    EXPECT_LE(bottom->maximumHeight(), 24);
    EXPECT_FALSE(bottom->features() & QDockWidget::DockWidgetVerticalTitleBar);
    bottom->setCollapsed(false);
    EXPECT_GT(bottom->maximumHeight(), 24);
}

TEST_F(FrameUtilitiesTest, ProgressAreaIsFilledWithoutImages)
{
    QImage canvas(40, 20, QImage::Format_ARGB32);
    canvas.fill(Qt::red);
    {
        QPainter p(&canvas);
        DrawProgressAnimationArea(p, canvas.rect(), nullptr);
    }
    EXPECT_EQ(canvas.pixel(10, 10), QApplication::palette().color(QPalette::Button).rgb());
}

} // namespace
