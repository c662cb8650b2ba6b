#include "app/ProfileFeedbackWiring.h"

#include "app/CDlgFeedBack.h"
#include "app/CDlgUserProfile.h"

#include "app/base/ActivityStamp.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "frame/MainFrameCommands.h"
#include "frame/MessageFiles.h"
#include "frame/ProfileButtons.h"
#include "server/RequestServer.h"

#include "ui/command_bar.h"
#include "ui/commands.h"
#include "ui/mailbox.h"

#include <QPointer>

void InstallProfileAndFeedback(CMainFrame& frame, std::function<void()> lockTerminal)
{
    QPointer<CMainFrame> f(&frame);
    const auto picture = [f] { return f ? f->ProfilePicturePath() : std::string(); };
    const auto locked = [] { return IsTerminalLocked(); };

    ProfileButtons::Factory profile = [f, picture, locked, lockTerminal](QWidget* parent) -> QWidget* {
        CDlgUserProfile::Hooks hooks;
        hooks.locked = locked;
        hooks.picturePath = picture;
        hooks.updateProfileButton = [f] {
            if (f)
                f->UpdateProfileButton(1, 1);
        };
        hooks.lockTerminal = lockTerminal;
        hooks.logout = [f] {
            if (f)
                f->Commands().post(ID_APP_EXIT);
        };
        auto* panel = new CDlgUserProfile(std::move(hooks), parent);
        panel->prepare();
        return panel;
    };
    ProfileButtons::Factory feedback = [f, picture, locked](QWidget* parent) -> QWidget* {
        CDlgFeedBack::Hooks hooks;
        hooks.locked = locked;
        hooks.picturePath = picture;
        hooks.send = [](const std::string& request, std::string& reply, ExchangeCancel& cancel) {
            long length = 0;
            return RequestServer(pv_user_info.encrypt, 810, request, reply, length, &cancel);
        };
        hooks.brokerWebAddress = [] { return std::string(FixedTextView(g_Config.Redirect_Url)); };
        // The answer stays on the Messages bar and shows as the frame's popup.
        hooks.showAnswer = [f](const std::string& popupText, const std::string& answer) {
            if (!f)
                return;
            f->SetUserMessage(MsgGeneral, ' ', answer);
            ui::mailbox::post(f->ref(), ui::Note{ui::NoteId::UserPopup, 0, 0, popupText});
        };
        auto* panel = new CDlgFeedBack(std::move(hooks), parent);
        panel->prepare();
        return panel;
    };
    ProfileButtons::Of(frame).setPanels(std::move(profile), std::move(feedback));

    // Without a panel attached (the terminal is locked) the buttons run
    // their commands, and the frame's command gate says why nothing opens.
    SetCommandLockText(ID_PROFILE, "view Profile.");
    SetCommandLockText(ProfileButtons::kFeedbackButton, "provide Feedback.");
    for (const int id : {int(ID_PROFILE), int(ProfileButtons::kFeedbackButton)})
        frame.Commands().add(id, [f, id] {
            if (f && f->Ribbon())
                f->Ribbon()->showPopup(id);
        });
}
