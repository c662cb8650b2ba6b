// The GoogleTest main of every Qt test binary: a headless QApplication on the
// main thread (which thereby is the UI thread), and Qt's warnings about
// threads, timers, parents and painting turned into test failures, since each
// of them means a widget or timer was touched from the wrong place.
#include "testkit/ui_guard_trap.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QString>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

QtMessageHandler g_previousHandler = nullptr;

bool isThreadingWarning(const QString& text)
{
    static const std::array<const char*, 9> patterns = {
        "Cannot create children for a parent that is in a different thread",
        "Timers cannot be started from another thread",
        "Timers cannot be stopped from another thread",
        "another thread",
        "different thread",
        "QObject::",
        "QBasicTimer",
        "QPainter::",
        "QWidget::",
    };
    for (const char* p : patterns)
        if (text.contains(QLatin1String(p)))
            return true;
    return false;
}

void trapQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg && isThreadingWarning(text))
        ADD_FAILURE() << "Qt warning: " << text.toStdString();
    if (g_previousHandler)
        g_previousHandler(type, context, text);
}

// A private runtime folder for the offscreen platform, removed at exit.
std::filesystem::path makeRuntimeDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vx-runtime-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return {};
    return pattern;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "1");
    const std::filesystem::path runtimeDir = makeRuntimeDir();
    if (!runtimeDir.empty())
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtimeDir.string()));

    testing::InitGoogleTest(&argc, argv);
    g_previousHandler = qInstallMessageHandler(trapQtMessages);
    int result = 0;
    {
        QApplication app(argc, argv);
        testkit::installUiGuard();
        result = RUN_ALL_TESTS();
    }
    qInstallMessageHandler(g_previousHandler);

    std::error_code ec;
    if (!runtimeDir.empty())
        std::filesystem::remove_all(runtimeDir, ec);
    return result;
}
