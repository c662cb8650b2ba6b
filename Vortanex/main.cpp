// The program's entry: the crash guard, the Qt application and the
// application object's start, loop and exit. The program folder is the
// current folder at start (absolute), or the one given with --root.
#include "app/CVortanexQtApp.h"
#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"

#include "pf/crash_guard.h"
#include "pf/sigpipe.h"
#include "pf/ui_guard.h"
#include "ui/ui_layer.h"
#ifdef VX_HAVE_WEBENGINE
#include "ui/webengine_browser_view.h"
#endif

#include <cstring>
#include <filesystem>
#include <thread>

int main(int argc, char** argv)
{
    std::filesystem::path root = std::filesystem::current_path();
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--root") == 0 && i + 1 < argc)
            root = std::filesystem::absolute(argv[++i]);
    const pf::Paths paths(root.lexically_normal());

    // A guard that could not be installed is told in the log once it is open.
    const bool guarded = pf::CrashGuard::install(paths.root() / "Vortanex_DUMP.dmp", "Vortanex");
    pf::ignoreSigpipe();

#ifdef VX_HAVE_WEBENGINE
    ui::WebEngineBrowserView::prepareProcess(); // before the application object
#endif
    CVortanexQtApp qt(argc, argv);
    // From here a request, download or helper exchange made on this thread is
    // logged once per place: the window that made it froze while it ran.
    pf::uiguard::setUiThread(std::this_thread::get_id());
#ifdef VX_HAVE_WEBENGINE
    ui::setBrowserFactory(&ui::WebEngineBrowserView::make);
#endif
    int code = 1;
    ProgramFeed feed; // outlives the exit sequence, which stops it
    CVortanexApp::Options options;
    options.paths = paths;
    options.feed = &feed;
    options.crashGuardInstalled = guarded;
    theApp.setOptions(options);
    {
        // Boxes asked by workers after the loop get their closing answer at
        // once, so the exit sequence never waits on a box nobody sees.
        ui::UiLayer layer;
        if (theApp.InitInstance())
            code = theApp.Run();
    }
    const int exitCode = theApp.ExitInstance();
    return code == 0 ? exitCode : code;
}
