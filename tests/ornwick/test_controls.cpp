#include "ColorButton.h"
#include "ColorFormView.h"
#include "FlatHeaderCtrl.h"
#include "InitDialogBar.h"
#include "ListCtrlCustom.h"
#include "ListReport.h"
#include "SortHeaderCtrl.h"
#include "TextScroller.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDataStream>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTableWidget>

namespace {

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& pos, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void sendKey(QWidget* target, int key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QTableWidget* tableWithColumns(int count)
{
    auto* table = new QTableWidget(2, count);
    table->setHorizontalHeaderLabels(QStringList({"Symbol", "Qty", "Price", "Side"}).mid(0, count));
    return table;
}

TEST(CSortHeaderCtrl, SavedWidthsRoundTripAndAForeignCountIsIgnored)
{
    std::unique_ptr<QTableWidget> table(tableWithColumns(3));
    auto* header = new CSortHeaderCtrl;
    table->setHorizontalHeader(header);
    for (int i = 0; i < 3; ++i)
        header->resizeSection(i, 50 + 10 * i);
    QByteArray saved;
    {
        QDataStream out(&saved, QIODevice::WriteOnly);
        header->Serialize(out, true);
    }
    for (int i = 0; i < 3; ++i)
        header->resizeSection(i, 99);
    {
        QDataStream in(saved);
        header->Serialize(in, false);
    }
    EXPECT_EQ(header->sectionSize(0), 50);
    EXPECT_EQ(header->sectionSize(2), 70);

    QByteArray foreign;
    {
        QDataStream out(&foreign, QIODevice::WriteOnly);
        out << qint32(2) << qint32(10) << qint32(10);
    }
    QDataStream in(foreign);
    header->Serialize(in, false);
    EXPECT_EQ(header->sectionSize(0), 50);

    QDataStream truncated(saved.left(8)); // count and one width only
    header->resizeSection(0, 33);
    header->Serialize(truncated, false);
    EXPECT_EQ(header->sectionSize(0), 33);
}

TEST(CFlatHeaderCtrl, WidthLimitsHoldUnlessTheColumnIsFixed)
{
    std::unique_ptr<QTableWidget> table(tableWithColumns(3));
    auto* header = new CFlatHeaderCtrl;
    table->setHorizontalHeader(header);
    _HDITEMEX ex;
    ex.iMinWidth = 40;
    ex.iMaxWidth = 60;
    ASSERT_TRUE(header->SetItemEx(0, ex));
    header->resizeSection(0, 100);
    EXPECT_EQ(header->sectionSize(0), 60);
    header->resizeSection(0, 10);
    EXPECT_EQ(header->sectionSize(0), 40);
    EXPECT_FALSE(header->SetItemEx(5, ex));

    ex.nStyle = _HDITEMEX::FitContent;
    ex.iMinWidth = 0;
    ex.iMaxWidth = 1000;
    ASSERT_TRUE(header->SetItemEx(1, ex));
    EXPECT_EQ(header->sectionSize(1), header->GetItemWidth(1, false));
    EXPECT_GT(header->GetItemWidth(1, true), header->GetItemWidth(1, false));

    EXPECT_TRUE(header->ModifyProperty(CFlatHeaderCtrl::Spacing, 3));
    EXPECT_FALSE(header->ModifyProperty(9, 0));
}

TEST(CFlatHeaderCtrl, DraggingAColumnMovesItToTheDropDivider)
{
    std::unique_ptr<QTableWidget> table(tableWithColumns(3));
    auto* header = new CFlatHeaderCtrl;
    table->setHorizontalHeader(header);
    for (int i = 0; i < 3; ++i)
        header->resizeSection(i, 80);
    table->resize(400, 200);
    table->show();
    QWidget* viewport = header->viewport();
    const int y = header->height() / 2;
    sendMouse(viewport, QEvent::MouseButtonPress, QPoint(40, y), Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseMove, QPoint(120, y), Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseMove, QPoint(220, y), Qt::LeftButton); // right half of the third column
    sendMouse(viewport, QEvent::MouseButtonRelease, QPoint(220, y), Qt::NoButton);
    EXPECT_EQ(header->GetDropResult(), CFlatHeaderCtrl::DroppedInside);
    EXPECT_EQ(header->logicalIndex(2), 0); // the first column is now last
    EXPECT_EQ(header->logicalIndex(0), 1);

    // Dropped outside the header and away from any drop target: no move.
    sendMouse(viewport, QEvent::MouseButtonPress, QPoint(40, y), Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseMove, QPoint(40, y + 300), Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, QPoint(40, y + 300), Qt::NoButton);
    EXPECT_EQ(header->GetDropResult(), CFlatHeaderCtrl::DroppedElsewhere);
    EXPECT_EQ(header->logicalIndex(0), 1);
}

class ListReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_list.setColumnCount(2);
        m_list.setRowCount(2);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c)
                m_list.setItem(r, c, new QTableWidgetItem(QStringLiteral("r%1c%2").arg(r).arg(c)));
        m_list.SetColumnEditInit();
        m_list.SetColumnEditInfo(0, CListReport::EditBox);
        m_list.SetColumnEditInfo(1, CListReport::EditList, {"", "SELL", "BUY"});
        m_list.SetEditLabels(true);
        m_list.resize(300, 200);
        m_list.show();
        QApplication::setActiveWindow(&m_list);
        m_list.setCurrentCell(-1, -1);
    }
    void click(int row, int column)
    {
        const QPoint at = m_list.visualItemRect(m_list.item(row, column)).center();
        sendMouse(m_list.viewport(), QEvent::MouseButtonPress, at, Qt::LeftButton);
        sendMouse(m_list.viewport(), QEvent::MouseButtonRelease, at, Qt::NoButton);
    }
    CListReport m_list;
};

TEST_F(ListReportTest, SecondClickEditsAndEnterCommitsEscapeDiscards)
{
    click(1, 0);
    EXPECT_EQ(m_list.findChild<QLineEdit*>(), nullptr) << "the first click only selects";
    EXPECT_EQ(m_list.currentRow(), 1);
    click(1, 0);
    auto* edit = m_list.findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), "r1c0");
    edit->setText("edited");
    sendKey(edit, Qt::Key_Return);
    flushDeletes();
    EXPECT_EQ(m_list.item(1, 0)->text(), "edited");
    EXPECT_EQ(m_list.findChild<QLineEdit*>(), nullptr);

    click(1, 0);
    edit = m_list.findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->setText("thrown away");
    sendKey(edit, Qt::Key_Escape);
    flushDeletes();
    EXPECT_EQ(m_list.item(1, 0)->text(), "edited");
}

TEST_F(ListReportTest, PickListOffersSortedChoicesAndCommitsThePick)
{
    click(1, 1);
    click(0, 1); // selects
    EXPECT_EQ(m_list.findChild<QComboBox*>(), nullptr);
    click(0, 1); // edits
    auto* combo = m_list.findChild<QComboBox*>();
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(1), "BUY"); // sorted
    EXPECT_EQ(combo->currentIndex(), 0);  // "r0c1" is not a choice: the first entry
    combo->setCurrentIndex(2);
    sendKey(combo, Qt::Key_Return);
    flushDeletes();
    EXPECT_EQ(m_list.item(0, 1)->text(), "SELL");

    // The first entry stands for an empty text.
    click(0, 1);
    combo = m_list.findChild<QComboBox*>();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), "SELL");
    combo->setCurrentIndex(0);
    sendKey(combo, Qt::Key_Enter);
    flushDeletes();
    EXPECT_EQ(m_list.item(0, 1)->text(), "");
}

class RedCell final : public CListCtrlCustom {
public:
    bool IsNotifyItemDraw() override { return true; }
    bool IsNotifySubItemDraw(int, int, quintptr) override { return true; }
    QColor BkColorForSubItem(int row, int column, int, quintptr) override
    {
        return row == 1 && column == 1 ? QColor(Qt::red) : QColor();
    }
};

TEST(CListCtrlCustom, CellHooksColourTheCell)
{
    RedCell list;
    list.setColumnCount(2);
    list.setRowCount(2);
    list.resize(300, 200);
    const QImage image = list.grab().toImage();
    const QRect red = list.visualRect(list.model()->index(1, 1)).translated(list.viewport()->pos());
    const QRect plain = list.visualRect(list.model()->index(0, 1)).translated(list.viewport()->pos());
    EXPECT_EQ(image.pixelColor(red.center()), QColor(Qt::red));
    EXPECT_NE(image.pixelColor(plain.center()), QColor(Qt::red));
}

class SteppedScroller final : public CTextScroller {
public:
    using CTextScroller::Tick;
};

TEST(CTextScroller, HorizontalTextStartsOverAfterItHasPassed)
{
    SteppedScroller scroller;
    scroller.resize(200, 30);
    scroller.AddLine(QStringLiteral("Markets open at 9:15"));
    const QString text = scroller.Text();
    EXPECT_EQ(text, "Markets open at 9:15 ");
    scroller.Tick();
    EXPECT_LT(scroller.Position(), 200);
    int guard = 0;
    while (scroller.Position() > 0 && ++guard < 10000)
        scroller.Tick();
    ASSERT_EQ(scroller.Position(), 0);
    EXPECT_EQ(scroller.VisibleText(), text);
    scroller.Tick();
    EXPECT_EQ(scroller.VisibleText(), text.mid(1)); // the first character has passed the edge
    for (int i = 1; i < text.size(); ++i)
        scroller.Tick();
    // All of it has passed: the whole text comes in again from the right.
    EXPECT_EQ(scroller.Position(), 200);
    EXPECT_EQ(scroller.VisibleText(), text);
    EXPECT_EQ(scroller.Text(), text);
}

TEST(CTextScroller, VerticalLinesRiseAndStartOverTogether)
{
    SteppedScroller scroller;
    scroller.SetType(CTextScroller::Vertical);
    scroller.resize(200, 40);
    scroller.AddLine(QStringList{"one", "two"});
    scroller.Tick();
    ASSERT_EQ(scroller.Lines().size(), 2u);
    const int firstStart = scroller.Lines()[0].start;
    const int secondStart = scroller.Lines()[1].start;
    EXPECT_EQ(firstStart, 40); // just below the bottom edge
    EXPECT_EQ(scroller.Lines()[0].y, 39);
    EXPECT_GT(secondStart, firstStart);
    // The first line waits at its start until the last one has left the top;
    // then both rise again from their starts.
    bool firstWaited = false;
    int guard = 0;
    for (; guard < 10000; ++guard) {
        scroller.Tick();
        const auto& lines = scroller.Lines();
        if (!lines[0].active) {
            firstWaited = true;
            EXPECT_EQ(lines[0].y, firstStart);
            EXPECT_TRUE(lines[1].active);
        }
        if (firstWaited && lines[0].active)
            break;
    }
    ASSERT_LT(guard, 10000);
    EXPECT_EQ(scroller.Lines()[0].y, firstStart);
    EXPECT_EQ(scroller.Lines()[1].y, secondStart);
}

TEST(CTextScroller, SettersReturnTheOldColoursAndIgnoreBadIntervals)
{
    CTextScroller scroller;
    EXPECT_EQ(scroller.SetBkColor(Qt::black), QColor(0x78, 0x78, 0xFF));
    EXPECT_EQ(scroller.SetTextColor(Qt::white), QColor(Qt::black));
    EXPECT_EQ(scroller.Interval(), CTextScroller::kDefaultIntervalMs);
    scroller.SetScrollTimer(0);
    EXPECT_EQ(scroller.Interval(), CTextScroller::kDefaultIntervalMs);
    scroller.SetScrollTimer(40);
    EXPECT_EQ(scroller.Interval(), 40);
}

TEST(ColouredControls, PaintInTheirColours)
{
    CColorButton button(Qt::yellow, Qt::darkGreen, Qt::darkGray);
    button.resize(80, 30);
    EXPECT_EQ(button.grab().toImage().pixelColor(5, 5), QColor(Qt::darkGreen));
    button.setEnabled(false);
    EXPECT_EQ(button.grab().toImage().pixelColor(5, 5), QColor(Qt::darkGray));

    CColorFormView form;
    form.resize(50, 50);
    form.SetBackgroundColor(QColor(10, 20, 30));
    EXPECT_EQ(form.grab().toImage().pixelColor(25, 25), QColor(10, 20, 30));

    struct CountingBar final : CInitDialogBar {
        int inits = 0;
        bool OnInitDialogBar() override
        {
            ++inits;
            return CInitDialogBar::OnInitDialogBar();
        }
    };
    QWidget frame;
    CountingBar bar;
    EXPECT_FALSE(bar.Create(nullptr));
    EXPECT_TRUE(bar.Create(&frame));
    EXPECT_EQ(bar.inits, 1);
    bar.setParent(nullptr);
    EXPECT_TRUE(bar.CInitDialogBar::OnInitDialogBar(QColor(Qt::blue)));
    EXPECT_TRUE(bar.IsColoured());
}

} // namespace
