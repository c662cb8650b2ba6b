#pragma once
// The Qt application of the program: an exception that escapes an event
// handler is logged ("Exception in Run()!!!") and, while a user is logged in,
// the loop goes on; otherwise the loop ends.
#include <QApplication>

// Holds the style's picture cache to what the program's windows need (the
// application object applies it; benchmarks of its windows too).
void LimitStylePictureCache();

class CVortanexQtApp : public QApplication {
public:
    CVortanexQtApp(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
