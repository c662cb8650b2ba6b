// Undo and the standard edit commands act on the focused edit control: from
// the ribbon's Undo button, as commands, and as keys that no frame shortcut
// takes away from the edit.
#include "frame/EditCommands.h"
#include "frame/FormsAboveFrame.h"

#include "app/base/AppSettings.h"
#include "app/base/ProgramPaths.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"

#include "testkit/headless.h"
#include "ui/command_bar.h"
#include "ui/commands.h"
#include "ui/document_area.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>

namespace {

class EditCommandsTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        SetProgramPaths(paths);
        SetDefaultSettings();
        services.shell = &shell;
        services.sound = &sound;
        services.profile = profile.get();
        frame = std::make_unique<CMainFrame>(services);
        ASSERT_TRUE(frame->OnCreate());
        InstallEditCommands(frame->Commands(), *frame);
        auto* view = new QWidget;
        auto* layout = new QVBoxLayout(view);
        edit = new QLineEdit(view);
        password = new QLineEdit(view);
        password->setEchoMode(QLineEdit::Password);
        notes = new QPlainTextEdit(view);
        layout->addWidget(edit);
        layout->addWidget(password);
        layout->addWidget(notes);
        frame->Documents()->addDocument(view, QStringLiteral("Form"));
        frame->show();
        frame->activateWindow();
        focus(edit);
    }
    void TearDown() override
    {
        frame.reset();
        Headless::TearDown();
    }
    void focus(QWidget* w)
    {
        w->setFocus(Qt::OtherFocusReason);
        pumpUntil([w] { return w->hasFocus() || frame_focus(w); }, 2000);
    }
    static bool frame_focus(QWidget* w) { return w->window()->focusWidget() == w; }
    bool enabled(int id) const { return frame->Commands().state(id).enabled; }

    CMainFrame::Services services;
    std::unique_ptr<CMainFrame> frame;
    QLineEdit* edit = nullptr;
    QLineEdit* password = nullptr;
    QPlainTextEdit* notes = nullptr;
};

TEST_F(EditCommandsTest, CommandsActOnTheFocusedEditAndAreOffWhenItCannot)
{
    EXPECT_FALSE(enabled(ID_EDIT_UNDO)) << "nothing typed yet";
    EXPECT_FALSE(frame->Commands().invoke(ID_EDIT_UNDO));
    QTest::keyClicks(edit, "RELIANCE");
    ASSERT_EQ(edit->text(), "RELIANCE");

    ASSERT_TRUE(frame->Commands().invoke(ID_EDIT_SELECT_ALL));
    EXPECT_EQ(edit->selectedText(), "RELIANCE");
    ASSERT_TRUE(frame->Commands().invoke(ID_EDIT_COPY));
    EXPECT_EQ(QApplication::clipboard()->text(), "RELIANCE");
    ASSERT_TRUE(frame->Commands().invoke(ID_EDIT_CUT));
    EXPECT_EQ(edit->text(), "");
    EXPECT_FALSE(enabled(ID_EDIT_CUT)) << "nothing selected";
    ASSERT_TRUE(frame->Commands().invoke(ID_EDIT_PASTE));
    ASSERT_TRUE(frame->Commands().invoke(ID_EDIT_PASTE));
    EXPECT_EQ(edit->text(), "RELIANCERELIANCE");

    // The ribbon's Undo button is the same command.
    QAction* undo = frame->Ribbon()->action(ID_EDIT_UNDO);
    ASSERT_NE(undo, nullptr);
    frame->Ribbon()->refreshStates(); // as the shown ribbon does on its timer
    ASSERT_TRUE(undo->isEnabled());
    undo->trigger();
    EXPECT_EQ(edit->text(), "RELIANCE");

    // A password's text never leaves its box.
    focus(password);
    QTest::keyClicks(password, "secret");
    ASSERT_TRUE(frame->Commands().invoke(ID_EDIT_SELECT_ALL));
    EXPECT_FALSE(enabled(ID_EDIT_COPY));
    EXPECT_FALSE(enabled(ID_EDIT_CUT));
    EXPECT_EQ(QApplication::clipboard()->text(), "RELIANCE");

    // A text box: the same commands.
    focus(notes);
    QTest::keyClicks(notes, "note");
    ASSERT_TRUE(frame->Commands().invoke(ID_EDIT_UNDO));
    EXPECT_NE(notes->toPlainText(), "note");
    notes->setReadOnly(true);
    EXPECT_FALSE(enabled(ID_EDIT_UNDO));
    EXPECT_FALSE(enabled(ID_EDIT_PASTE));
}

// The keys reach the edit: the frame binds none of them to a command of its own.
TEST_F(EditCommandsTest, TheEditKeysReachTheFocusedEdit)
{
    QTest::keyClicks(edit, "INFY");
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(edit->selectedText(), "INFY");
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "");
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "INFYINFY");
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "INFY");
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "INFY");
}

// A modeless form is a window of its own: the ribbon's Undo, clicked on the
// frame, undoes the typing in the form's box, and the frame never covers the
// form.
TEST_F(EditCommandsTest, UndoFromTheRibbonActsOnTheBoxOfAnOpenFormThatStaysAboveTheFrame)
{
    KeepFormsAboveFrame(*frame);
    // The frame's focus is in a view that is no edit (a grid).
    auto* grid = new QWidget;
    grid->setFocusPolicy(Qt::StrongFocus);
    frame->Documents()->addDocument(grid, QStringLiteral("Grid"));
    focus(grid);
    auto form = std::make_unique<QDialog>();
    form->setModal(false);
    auto* disclose = new QLineEdit(form.get());
    form->show();
    form->activateWindow();
    ASSERT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == form.get(); }, 2000));
    EXPECT_EQ(form->windowHandle()->transientParent(), frame->windowHandle());
    focus(disclose);
    QTest::keyClicks(disclose, "25");
    ASSERT_EQ(disclose->text(), "25");

    // The click on the ribbon makes the frame the active window.
    frame->activateWindow();
    ASSERT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == frame.get(); }, 2000));
    EXPECT_TRUE(enabled(ID_EDIT_UNDO));
    EXPECT_TRUE(frame->Commands().invoke(ID_EDIT_UNDO));
    EXPECT_EQ(disclose->text(), "");
}

} // namespace
