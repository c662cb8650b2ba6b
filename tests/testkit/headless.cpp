#include "testkit/headless.h"

#include "ui/modal_host.h"
#include "ui/ui_thread.h"

#include <QCoreApplication>
#include <QEvent>

#include <cstdlib>
#include <string>
#include <system_error>

namespace testkit {

void Headless::SetUp()
{
    // A folder per test, so that tests may run in parallel.
    std::string pattern = (std::filesystem::temp_directory_path() / "vx-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << "cannot make a temporary program folder";
    root = pattern;
    paths = pf::Paths(root);
    ASSERT_TRUE(paths.ensureFolders());
    profile = std::make_unique<pf::ProfileStore>(paths.config() / "profile.ini");
    pf::setClock(&clock);
    ui::setPrompter(&prompter);
    ui::setModalHost(&modalHost);
}

void Headless::TearDown()
{
    // Work the test left queued may refer to its stack: drop it unrun. Then
    // free the widgets deleted later, so leak checks see a clean state.
    ui::UiThread::discardPending();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ui::setModalHost(nullptr);
    ui::setPrompter(nullptr);
    pf::setClock(nullptr);
    profile.reset();
    std::error_code ec;
    if (!root.empty())
        std::filesystem::remove_all(root, ec);
}

bool Headless::pumpUntil(const std::function<bool()>& pred, int timeoutMs)
{
    return ui::UiThread::pumpUntil(pred, timeoutMs);
}

} // namespace testkit
