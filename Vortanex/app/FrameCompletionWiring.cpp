#include "app/FrameCompletionWiring.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "frame/CBrowserCtrl.h"
#include "frame/CColorSetting.h"
#include "frame/CDlgZezuraFeedback.h"
#include "frame/CMainFrame.h"
#include "frame/CWebLinks.h"
#include "frame/DocumentPrint.h"
#include "frame/EditCommands.h"
#include "frame/FormsAboveFrame.h"
#include "frame/FrameIds.h"
#include "frame/PrintSetup.h"
#include "frame/WebLinksRibbon.h"
#include "server/ServerRequests.h"
#include "pf/shell.h"
#include "ui/commands.h"
#include "ui/document_area.h"
#include "watch/AppWindowCommands.h"
#include "frame/WatchOpeners.h"

#include <QTimer>

namespace {

int g_pendingWebLink = -1; // none: link 0 is a real link
pf::Shell* g_shell = nullptr;

BrowserLockHooks lockHooks()
{
    return {[] { return IsTerminalLocked(); }, [](const std::string& m) { MsgBoxInfo(m); }};
}

} // namespace

bool WebLinkOpensInView(const WebLinkRecord& link)
{
    const std::string name(FixedTextView(link.Name));
    return name != "ZQV Live Advisory" && name != "Margin Requirement" && link.Pref[0] != '1' && link.Pref[1] != '0' &&
           link.Pref[3] != 'F';
}

void OpenWebLinkInView(int linkNumber)
{
    g_pendingWebLink = linkNumber;
    AppWindowCommands::Run(32883);
}

bool OpenWebLinkInProgram(CMainFrame& frame, pf::Shell& shell, const WebLinkRecord& link, int linkNumber,
                          const std::string& address)
{
    const QUrl url(QString::fromStdString(address), QUrl::TolerantMode);
    if (link.Pref[3] == 'F') {
        CDlgZezuraFeedback dialog(linkNumber, url, shell, lockHooks(), &frame);
        dialog.exec();
        return true;
    }
    const std::string name(FixedTextView(link.Name));
    if (name == "Estimated Charges" || link.Pref[0] != '0' || !frame.Documents())
        return false;
    CBrowserCtrl::OpenBrowserCtrl(*frame.Documents(), shell, lockHooks(), QString::fromStdString(name), url);
    return true;
}

bool OpenHelpDocument(pf::Shell& shell, int commandId)
{
    // Both from the program folder: the process never changes its directory,
    // so "the current directory" is the program folder anyway. A command
    // always answers: a missing document is named in a box.
    const std::filesystem::path docs = ProgramPaths().docs();
    const bool whatsNew = commandId == ID_WHATS_NEW;
    const std::filesystem::path file = docs / (whatsNew ? "WhatsNew.pdf" : "Vortanex.chm");
    const std::string what = whatsNew ? "What's New" : "help";
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        WriteLog(0, "The " + what + " file is missing: " + file.string());
        MsgBoxInfo("The " + what + " file " + file.string() + " was not found.");
        return false;
    }
    if (!shell.openDocument(file)) {
        WriteLog(0, "The " + what + " file could not be opened: " + file.string());
        MsgBoxInfo("The " + what + " file " + file.string() + " could not be opened.");
        return false;
    }
    return true;
}

void InstallFrameCompletion(CMainFrame& frame, pf::Shell& shell, std::function<void()> connectFeed,
                            std::function<void()> disconnectFeed)
{
    pf::Shell* sh = &shell;
    frame.Commands().add(ID_HELP_FILE, [sh] { OpenHelpDocument(*sh, ID_HELP_FILE); });
    frame.Commands().add(ID_WHATS_NEW, [sh] { OpenHelpDocument(*sh, ID_WHATS_NEW); });
    InstallPrintCommands(frame);
    InstallEditCommands(frame.Commands(), frame);
    KeepFormsAboveFrame(frame);
    CMainFrame* f = &frame;
    g_shell = &shell;
    AppWindowCommands::Services& services = AppWindowCommands::services();
    services.windows[32865].open = [f, connectFeed, disconnectFeed] {
        CColorSetting::Hooks hooks;
        hooks.connect = connectFeed;
        hooks.disconnect = disconnectFeed;
        hooks.writeUserConfig = [] { WriteUserConfigToDat(); };
        hooks.saveSettings = [] { SaveSettings(); };
        hooks.applicationLook = [f] {
            f->EnableTabGroups(g_AppSettings.mdi_group_style != 0);
            f->SetApplicationLook(g_AppSettings.theme);
        };
        hooks.message = [](const std::string& m) { MsgBoxOk(m); };
        auto* dialog = new CColorSetting(hooks, f);
        const bool ok = dialog->exec() == QDialog::Accepted;
        // A pending reconnect keeps the dialog (its timer) alive until it ran.
        if (dialog->Timers().running(CColorSetting::kReconnectTimer)) {
            QTimer::singleShot(CColorSetting::kReconnectMs + 1000, dialog, &QObject::deleteLater);
        } else {
            delete dialog;
        }
        return ok;
    };
    const auto show = [] {
        CWebLinks* view = CWebLinks::Instance();
        if (!view)
            return false;
        const int link = g_pendingWebLink;
        g_pendingWebLink = -1;
        if (CMainFrame* frame = CMainFrame::Instance(); frame && frame->Documents())
            frame->Documents()->activateDocument(view);
        view->ShowSelectedLink(link);
        return true;
    };
    services.windows[57606].open = [] {
        OnFilePrintSetup();
        return true;
    };
    services.windows[32883].activate = show;
    services.windows[32883].open = [f, show] {
        if (!f->Documents() || !g_shell)
            return false;
        CWebLinks::Hooks hooks{[] { return IsTerminalLocked(); }, [](const std::string& m) { MsgBoxInfo(m); }};
        auto* view = new CWebLinks(*g_shell, hooks);
        f->Documents()->addDocument(view, QStringLiteral("WebLinks"));
        return show();
    };
    // The broker's pages of the market watch and the order book (Pellbrook,
    // GTC Order, Smart Order History) open in a browser window of their own.
    watchOpeners().browser = [f](const std::string& address, const std::string& title) {
        if (!f->Documents() || !g_shell)
            return;
        CBrowserCtrl::OpenBrowserCtrl(*f->Documents(), *g_shell, lockHooks(), QString::fromStdString(title),
                                      QUrl(QString::fromStdString(address), QUrl::TolerantMode));
    };
}

void CloseWebLinksForSecurityDownload()
{
    if (CWebLinks* view = CWebLinks::Instance())
        view->Close_Window();
}

void FrameCompletionShortcutStep(CMainFrame& frame, int step)
{
    if (step == 1 && g_WebLinkTable.count() > 0)
        InstallWebLinks(frame, g_WebLinkTable.links);
}
