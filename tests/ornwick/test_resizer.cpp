#include "Resizer.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace {

using Border = CResizer::CBorder;
using Info = CResizer::CBorderInfo;

constexpr Border fixed(int relative, CResizer::ESize edge)
{
    return Border{CResizer::eFixed, relative, edge};
}

class ResizerTest : public ::testing::Test {
protected:
    QWidget* addControl(int id, const QRect& geometry)
    {
        auto* w = new QWidget(&m_parent);
        w->setProperty(CResizer::kIdProperty, id);
        w->setGeometry(geometry);
        return w;
    }
    QWidget m_parent;
    CResizer m_resizer;
};

TEST_F(ResizerTest, FixedEdgesKeepTheMarginsToTheParent)
{
    m_parent.resize(200, 100);
    QWidget* c = addControl(1, QRect(10, 10, 180, 80));
    const Info table[] = {{1, fixed(0, CResizer::eLeft), fixed(0, CResizer::eTop), fixed(0, CResizer::eRight),
                           fixed(0, CResizer::eBottom)}};
    ASSERT_TRUE(m_resizer.Init(&m_parent, nullptr, table, 1));
    m_parent.resize(300, 150);
    m_resizer.Move();
    EXPECT_EQ(c->geometry(), QRect(10, 10, 280, 130));
    m_parent.resize(100, 60);
    m_resizer.Move();
    EXPECT_EQ(c->geometry(), QRect(10, 10, 80, 40));
}

TEST_F(ResizerTest, KeepWidthFollowsANewLeftEdge)
{
    m_parent.resize(200, 100);
    QWidget* c = addControl(1, QRect(150, 10, 40, 20));
    const Info table[] = {{1, fixed(0, CResizer::eRight), fixed(0, CResizer::eTop),
                           Border{CResizer::eKeepWidth, 0, CResizer::eLeft},
                           Border{CResizer::eKeepHeight, 0, CResizer::eTop}}};
    ASSERT_TRUE(m_resizer.Init(&m_parent, nullptr, table, 1));
    m_parent.resize(300, 100);
    m_resizer.Move();
    EXPECT_EQ(c->geometry(), QRect(250, 10, 40, 20));
}

TEST_F(ResizerTest, ProportionalEdgeWithAnEmptyInitialParentDividesByOne)
{
    m_parent.resize(200, 100);
    QWidget* c = addControl(1, QRect(10, 10, 20, 20));
    const Border proportional{CResizer::eProportional, 0, CResizer::eLeft};
    const Info table[] = {{1, proportional, fixed(0, CResizer::eTop), Border{CResizer::eKeepWidth, 0, CResizer::eLeft},
                           fixed(0, CResizer::eBottom)}};
    const QRect initial(0, 0, 0, 100);
    ASSERT_TRUE(m_resizer.Init(&m_parent, &initial, table, 1));
    m_resizer.Move();
    EXPECT_EQ(c->geometry().left(), 200 * 10 / 1);

    // With a real initial width the edge keeps its share: 10/200 of 300.
    c->setGeometry(10, 10, 20, 20);
    ASSERT_TRUE(m_resizer.Init(&m_parent, nullptr, table, 1));
    m_parent.resize(300, 100);
    m_resizer.Move();
    EXPECT_EQ(c->geometry().left(), 15);
}

TEST_F(ResizerTest, OverlapCollapsesTheLaterControlUntilItEnds)
{
    m_parent.resize(200, 100);
    QWidget* a = addControl(1, QRect(10, 10, 80, 20));
    QWidget* b = addControl(2, QRect(150, 10, 40, 20)); // follows the right border
    const Info table[] = {
        {1, fixed(0, CResizer::eLeft), fixed(0, CResizer::eTop), Border{CResizer::eKeepWidth, 0, CResizer::eLeft},
         Border{CResizer::eKeepHeight, 0, CResizer::eTop}},
        {2, fixed(0, CResizer::eRight), fixed(0, CResizer::eTop), Border{CResizer::eKeepWidth, 0, CResizer::eLeft},
         Border{CResizer::eKeepHeight, 0, CResizer::eTop}},
    };
    ASSERT_TRUE(m_resizer.Init(&m_parent, nullptr, table, 2));
    m_parent.resize(120, 100); // b would start at 70, inside a
    m_resizer.Move();
    EXPECT_EQ(a->geometry(), QRect(10, 10, 80, 20));
    EXPECT_EQ(b->geometry(), QRect(0, 0, 0, 0));
    m_parent.resize(250, 100);
    m_resizer.Move();
    EXPECT_EQ(b->geometry(), QRect(200, 10, 40, 20));

    // A hidden control, or one that clips its siblings, collapses nothing.
    m_parent.resize(120, 100);
    a->hide();
    m_resizer.Move();
    EXPECT_EQ(b->geometry(), QRect(70, 10, 40, 20));
    a->show();
    a->setProperty(CResizer::kClipSiblingsProperty, true);
    m_resizer.Move();
    EXPECT_EQ(b->geometry(), QRect(70, 10, 40, 20));
}

TEST_F(ResizerTest, InitRefusesRulesThatReadControlsNotYetPlaced)
{
    m_parent.resize(200, 100);
    addControl(1, QRect(10, 10, 20, 20));
    addControl(2, QRect(40, 10, 20, 20));
    const Info forward[] = {
        {1, fixed(2, CResizer::eRight), fixed(0, CResizer::eTop), fixed(0, CResizer::eRight),
         fixed(0, CResizer::eBottom)},
        {2, fixed(0, CResizer::eLeft), fixed(0, CResizer::eTop), fixed(0, CResizer::eRight),
         fixed(0, CResizer::eBottom)},
    };
    EXPECT_FALSE(m_resizer.Init(&m_parent, nullptr, forward, 2));
    const Info unknown[] = {{7, fixed(0, CResizer::eLeft), fixed(0, CResizer::eTop), fixed(0, CResizer::eRight),
                             fixed(0, CResizer::eBottom)}};
    EXPECT_FALSE(m_resizer.Init(&m_parent, nullptr, unknown, 1));
    m_resizer.Move(); // a refused table places nothing and does not crash
    const Info backward[] = {forward[1], {1, fixed(2, CResizer::eRight), fixed(0, CResizer::eTop),
                                          fixed(0, CResizer::eRight), fixed(0, CResizer::eBottom)}};
    EXPECT_TRUE(m_resizer.Init(&m_parent, nullptr, backward, 2));
}

} // namespace
