#include "app/CVortanexQtApp.h"

#include "app/base/LogWriter.h"
#include "server/FeedState.h"

CVortanexQtApp::CVortanexQtApp(int& argc, char** argv) : QApplication(argc, argv) {}

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
