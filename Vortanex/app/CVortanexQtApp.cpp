#include "app/CVortanexQtApp.h"

#include "app/base/LogWriter.h"
#include "server/FeedState.h"

#include <QPixmapCache>

namespace {
// The style keeps pictures of what it drew (button panels, frames) to draw
// them again by copying. Its default room, 10 MiB, fills with the ribbon's
// and the tool bars' large panels over the session and is held to the end;
// their gradients are cheap to draw again. The small pieces drawn over and
// over (arrows, check marks, scroll-bar parts) still fit in this.
constexpr int kStylePictureCacheKiB = 1024;
} // namespace

void LimitStylePictureCache() { QPixmapCache::setCacheLimit(kStylePictureCacheKiB); }

CVortanexQtApp::CVortanexQtApp(int& argc, char** argv) : QApplication(argc, argv) { LimitStylePictureCache(); }

bool CVortanexQtApp::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        WriteLog(0, "Exception in Run()!!!");
        if (!IsLoggedIn())
            QCoreApplication::exit(1);
        return false;
    }
}
