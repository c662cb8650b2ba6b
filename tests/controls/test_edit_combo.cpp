// The validating edits, the question combo with its "Others" edit, the
// transparent label's text and the status bar's "Click here" pane.
#include "testkit/headless.h"

#include "frame/controls/CComboQst.h"
#include "frame/controls/CEditValidate.h"
#include "frame/controls/CMyStaticCtrl.h"
#include "frame/controls/MyCBCGPStatusBar.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

namespace {

class EditComboTest : public testkit::Headless {};

TEST_F(EditComboTest, ForbiddenCharactersVanishFromPastedTextWithTheCaretAtTheEnd)
{
    CEditValidate edit;
    edit.SetForbiddenChars(QStringLiteral("|~"));
    edit.setText(QStringLiteral("AB"));
    edit.setCursorPosition(1);
    QApplication::clipboard()->setText(QStringLiteral("x|y~~z"));
    edit.paste();
    EXPECT_EQ(edit.text(), QStringLiteral("AxyzB"));
    EXPECT_EQ(edit.cursorPosition(), 5);
    EXPECT_FALSE(edit.hasSelectedText());

    // Nothing forbidden (as every owner in this program leaves it): text untouched.
    CEditValidate plain;
    plain.setText(QStringLiteral("a|b"));
    EXPECT_EQ(plain.text(), QStringLiteral("a|b"));

    // The grid edit keeps its own list; the inherited one stays empty.
    CEditGridCtrl grid;
    grid.SetForbiddenChars(QStringLiteral("^"));
    EXPECT_TRUE(grid.ForbiddenChars().isEmpty());
    grid.setText(QStringLiteral("1^2"));
    EXPECT_EQ(grid.text(), QStringLiteral("12"));
}

TEST_F(EditComboTest, GridEditMovesTheFocusOnWhenFull)
{
    QWidget window;
    auto* first = new CEditGridCtrl(&window);
    auto* next = new QLineEdit(&window);
    first->setMaxLength(4);
    first->setGeometry(0, 0, 80, 20);
    next->setGeometry(0, 30, 80, 20);
    window.show();
    window.activateWindow();
    first->setFocus();
    ASSERT_TRUE(pumpUntil([&] { return first->hasFocus(); }));
    QTest::keyClicks(first, QStringLiteral("123"));
    EXPECT_TRUE(first->hasFocus()) << "three of four characters: stays";
    QTest::keyClick(first, Qt::Key_4);
    EXPECT_TRUE(pumpUntil([&] { return next->hasFocus(); })) << "the fourth character moves on";
    EXPECT_EQ(first->text(), QStringLiteral("1234"));
}

TEST_F(EditComboTest, OthersEnablesAnUpperCaseEditBelowTheCombo)
{
    QWidget dialog;
    auto* combo = new CComboQst(&dialog);
    combo->addItems({"Mother's maiden name?", "First school?", "Others"});
    combo->setCurrentIndex(-1);
    combo->setGeometry(10, 10, 200, 24);
    dialog.show(); // the combo is placed when shown
    CEditValidate* edit = combo->Edit();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->parentWidget(), &dialog);
    EXPECT_EQ(edit->property("controlId").toInt(), CComboQst::kEditId);
    EXPECT_EQ(edit->geometry(), QRect(QPoint(10, 38), QPoint(209, 58))) << "top +28, bottom +25";
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_TRUE(combo->GetSelectedText().isEmpty()) << "nothing selected";

    combo->setCurrentIndex(2);
    EXPECT_TRUE(edit->isEnabled());
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("pet name"));
    EXPECT_EQ(edit->text(), QStringLiteral("PET NAME"));
    EXPECT_EQ(combo->GetSelectedText(), QStringLiteral("PET NAME"));

    // A keyboard change keeps the typed text but disables the edit.
    combo->setCurrentIndex(1);
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_EQ(edit->text(), QStringLiteral("PET NAME"));
    EXPECT_EQ(combo->GetSelectedText(), QStringLiteral("First school?"));

    // Closing the drop-down on another question empties it.
    combo->showPopup();
    combo->hidePopup();
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_TRUE(edit->text().isEmpty());

    // Closing it on "Others" enables the edit again, with the combo's font.
    combo->setCurrentIndex(2);
    QFont f = combo->font();
    f.setPixelSize(17);
    combo->setFont(f);
    combo->showPopup();
    combo->hidePopup();
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_EQ(edit->font().pixelSize(), 17);
}

TEST_F(EditComboTest, ClickHerePanePostsItsCommandToTheOwner)
{
    QWidget frame;
    auto* bar = new MyCBCGPStatusBar(&frame);
    ASSERT_TRUE(bar->AddPane(MyCBCGPStatusBar::kClickHerePane, 80));
    ASSERT_TRUE(bar->AddPane(33321, 80));
    EXPECT_FALSE(bar->AddPane(33321, 10));
    bar->SetPaneText(MyCBCGPStatusBar::kClickHerePane, QStringLiteral("Click here"));
    frame.resize(600, 40);
    bar->setGeometry(0, 0, 600, 30);
    frame.show();
    QSignalSpy commands(bar, &MyCBCGPStatusBar::command);

    QTest::mouseClick(bar->Pane(33321), Qt::LeftButton);
    QTest::mouseClick(bar->Pane(MyCBCGPStatusBar::kClickHerePane), Qt::LeftButton);
    EXPECT_EQ(commands.count(), 0) << "posted, not sent";
    ASSERT_TRUE(pumpUntil([&] { return commands.count() > 0; }));
    pumpUntil([] { return false; }, 20);
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toInt(), 33320);
}

TEST_F(EditComboTest, LabelTakesTheNewTextFontAndColour)
{
    QWidget parent;
    auto* label = new CMyStaticCtrl(&parent);
    label->SetTextFont(QStringLiteral("DejaVu Sans"), -14);
    EXPECT_EQ(label->font().pixelSize(), 14);
    EXPECT_EQ(label->font().weight(), QFont::Normal);
    label->SetTextColour(0x0000FF); // red in 0x00BBGGRR
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    label->SetWindowText(QStringLiteral("first"));
    label->SetWindowText(QStringLiteral("second"));
    EXPECT_EQ(label->text(), QStringLiteral("second"));
    EXPECT_FALSE(label->autoFillBackground());
}

} // namespace
