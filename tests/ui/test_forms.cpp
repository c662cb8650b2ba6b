#include "testkit/headless.h"

#include "ui/form.h"
#include "ui/form_driver.h"
#include "ui/modal_host.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <gtest/gtest-spi.h>

namespace {

using ui::ControlKind;

enum : int {
    kOk = 1,
    kCancel = 2,
    kUser = 1006,
    kPassword = 1007,
    kSegment = 1010,
    kRemember = 1020,
    kBuy = 1030,
    kSell = 1031,
    kDay = 1040,
    kIoc = 1041,
    kHelp = 1050,
};

ui::FormSpec loginSpec()
{
    ui::EditRules user;
    user.upperCase = true;
    user.maxLength = 9;
    user.forbidden = "|~^&";
    return ui::FormSpec{
        100, "CLogin", "Login", 200, 120,
        {
            {-1, ControlKind::Label, "User Id", {7, 7, 40, 8}},
            {kUser, ControlKind::Edit, "", {50, 5, 80, 12}, user},
            {kPassword, ControlKind::Password, "", {50, 20, 80, 12}},
            {kSegment, ControlKind::Combo, "", {50, 35, 80, 60}},
            {kRemember, ControlKind::Check, "Remember", {50, 50, 80, 10}},
            {kBuy, ControlKind::Radio, "Buy", {7, 65, 40, 10}, {}, 1},
            {kSell, ControlKind::Radio, "Sell", {50, 65, 40, 10}, {}, 1},
            {kDay, ControlKind::Radio, "Day", {7, 80, 40, 10}, {}, 2},
            {kIoc, ControlKind::Radio, "IOC", {50, 80, 40, 10}, {}, 2},
            {kOk, ControlKind::DefaultButton, "OK", {50, 100, 40, 14}},
            {kCancel, ControlKind::Button, "Cancel", {95, 100, 40, 14}},
            {kHelp, ControlKind::Button, "Help", {140, 100, 40, 14}},
        }};
}

// A form the way a window's code writes one: fills itself in onInit and
// checks its input before it lets Ok close it.
class LoginForm final : public ui::Form {
public:
    LoginForm() : Form(loginSpec())
    {
        onClick(kOk, [this] {
            if (text(kUser).empty()) {
                ui::Ask ask;
                ask.text = "Please enter User Id";
                ask.caption = "Input Error";
                ui::prompter().ask(ask);
                focus(kUser);
                return;
            }
            finish(ui::Ok);
        });
        onChanged(kSegment, [this] { ++segmentChanges; });
    }
    int segmentChanges = 0;

protected:
    void onInit() override
    {
        setComboItems(kSegment, {"NSE", "BSE", "MCX"});
        setComboIndex(kSegment, 0);
        setChecked(kBuy, true);
        setChecked(kDay, true);
        enable(kHelp, false);
    }
};

class FormTest : public testkit::Headless {};

TEST_F(FormTest, ScriptedRunDrivesControlsByIdAndReturnsTheOutcome)
{
    LoginForm form;
    bool firstClickRefused = false;
    modalHost.script("CLogin", [&](ui::FormDriver& d) {
        d.click(kOk); // empty user id: the form asks and stays open
        firstClickRefused = !d.form().isFinished() && d.form().focusedId() == kUser;
        d.type(kUser, "ab|c~defghijk").type(kPassword, "secret").pick(kSegment, 2).check(kRemember, true);
        d.check(kSell, true).click(kOk);
    });

    EXPECT_EQ(ui::modalHost().run(form), ui::Ok);
    EXPECT_TRUE(firstClickRefused);
    ASSERT_EQ(prompter.askCount(), 1u);
    EXPECT_EQ(prompter.asks()[0].caption, "Input Error");
    EXPECT_EQ(form.text(kUser), "ABCDEFGHI"); // upper case, forbidden removed, 9 at most
    EXPECT_EQ(form.text(kPassword), "secret");
    EXPECT_EQ(form.comboIndex(kSegment), 2);
    EXPECT_EQ(form.text(kSegment), "MCX");
    EXPECT_EQ(form.segmentChanges, 1) << "the form's own setters are not user changes";
    EXPECT_TRUE(form.checked(kRemember));
    EXPECT_TRUE(form.checked(kSell));
    EXPECT_FALSE(form.checked(kBuy)) << "radios of one group exclude each other";
    EXPECT_TRUE(form.checked(kDay)) << "radios of another group are untouched";
    EXPECT_EQ(modalHost.runs(), std::vector<std::string>{"CLogin"});
}

TEST_F(FormTest, CancelPathsCloseWithCancel)
{
    struct Case {
        const char* name;
        std::function<void(ui::FormDriver&)> script;
    } cases[] = {
        {"cancelButton", [](ui::FormDriver& d) { d.click(kCancel); }},
        {"escapeOrCloseBox", [](ui::FormDriver& d) { d.form().reject(); }},
    };
    for (const Case& c : cases) {
        LoginForm form;
        modalHost.script("CLogin", c.script);
        EXPECT_EQ(ui::modalHost().run(form), ui::Cancel) << c.name;
    }
}

TEST_F(FormTest, DriverRefusesWhatAUserCannotDo)
{
    LoginForm form;
    form.prepare();
    bool helpRan = false;
    form.onClick(kHelp, [&] { helpRan = true; });
    form.showControl(kRemember, false);

    ui::FormDriver d(form);
    d.click(kHelp);            // disabled
    d.check(kRemember, true);  // hidden
    d.pick(kSegment, 3);       // past the items
    d.click(4711);             // no such control
    d.check(kBuy, false);      // a radio is cleared by choosing another
    EXPECT_EQ(d.problems().size(), 5u);
    EXPECT_FALSE(helpRan);
    EXPECT_FALSE(form.checked(kRemember));
    EXPECT_FALSE(form.isVisible(kRemember));
    EXPECT_FALSE(form.isEnabled(kHelp));
}

TEST_F(FormTest, SetTextAppliesTheEditRulesAndAnUnknownIdIsHarmless)
{
    LoginForm form;
    int changes = 0;
    form.onChanged(kUser, [&] { ++changes; });
    form.setText(kUser, "nse|cash^");
    EXPECT_EQ(form.text(kUser), "NSECASH");
    EXPECT_EQ(changes, 1) << "an edit's change handler runs for set text too";
    form.setText(9999, "x");
    EXPECT_EQ(form.text(9999), "");
    EXPECT_EQ(form.control(9999), nullptr);
}

TEST_F(FormTest, UnscriptedFormIsCancelledAndFailsInStrictMode)
{
    modalHost.setStrict(false);
    LoginForm form;
    EXPECT_EQ(ui::modalHost().run(form), ui::Cancel);
    modalHost.setStrict(true);
    EXPECT_NONFATAL_FAILURE(
        {
            LoginForm strictForm;
            ui::modalHost().run(strictForm);
        },
        "Unexpected modal form CLogin");
}

TEST_F(FormTest, DriverTypesIntoEveryKindOfTextControl)
{
    ui::EditRules upper;
    upper.upperCase = true;
    ui::Form form(ui::FormSpec{0, "CScripSearch", "Search", 150, 80,
                               {
                                   {1001, ControlKind::ComboEdit, "", {5, 5, 80, 60}, upper},
                                   {1002, ControlKind::Spin, "", {5, 20, 40, 12}},
                                   {1003, ControlKind::MultiLine, "", {5, 35, 100, 30}},
                                   {1004, ControlKind::List, "", {110, 5, 35, 60}},
                               }});
    form.setComboItems(1001, {"INFY", "TCS"});
    form.setComboItems(1004, {"NSE", "BSE"});
    int listChanges = 0;
    form.onChanged(1004, [&] { ++listChanges; });

    ui::FormDriver d(form);
    d.type(1001, "reliance").type(1002, "15").step(1002, 2).type(1003, "line one\nline two").pick(1004, 1);
    EXPECT_TRUE(d.problems().empty());
    EXPECT_EQ(form.text(1001), "RELIANCE");
    EXPECT_EQ(form.text(1002), "17");
    EXPECT_EQ(form.text(1003), "line one\nline two");
    EXPECT_EQ(form.text(1004), "BSE");
    EXPECT_EQ(listChanges, 1);
    EXPECT_EQ(form.focusedId(), 1003) << "typing puts the focus into the control";

    form.setText(1001, "tcs");
    EXPECT_EQ(form.text(1001), "TCS");
    form.setText(1002, "not a number"); // ignored, the spin keeps its value
    EXPECT_EQ(form.text(1002), "17");
}

TEST_F(FormTest, KeyFilterSeesKeysBeforeTheFocusedControl)
{
    LoginForm form;
    std::vector<std::pair<ui::Key, ui::Mods>> seen;
    form.keys().onKeyDown = [&](ui::Key key, ui::Mods mods) {
        seen.emplace_back(key, mods);
        return key == ui::Key::Escape; // swallowed: the form must stay open
    };
    auto* edit = qobject_cast<QLineEdit*>(form.control(kUser));
    ASSERT_NE(edit, nullptr);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &escape);
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier, "A");
    QCoreApplication::sendEvent(edit, &letter);
    // The edit leaves F6 to its parents; the filter still sees it once.
    QKeyEvent f6(QEvent::KeyPress, Qt::Key_F6, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &f6);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].first, ui::Key::Escape);
    EXPECT_EQ(seen[1].first, ui::Key::A);
    EXPECT_TRUE(seen[1].second.shift);
    EXPECT_EQ(int(seen[2].first), 117);
    EXPECT_FALSE(form.isFinished());
    EXPECT_EQ(edit->text(), "A") << "keys not swallowed reach the control";
}

} // namespace
