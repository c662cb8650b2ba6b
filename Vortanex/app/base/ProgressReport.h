#pragma once
// The start-up progress dialog as the Qt-free downloads see it: a message and
// a step, shown only while a dialog is up (otherwise the calls do nothing).
#include <string_view>

class ProgressReporter {
public:
    virtual ~ProgressReporter() = default;
    virtual void setProgressMessage(std::string_view text) = 0;
    virtual void stepProgress() = 0;
};

// The dialog registers itself while it is shown and unregisters before it
// goes; nullptr when none is shown.
void SetCurrentProgress(ProgressReporter* reporter);

// Forward to the current dialog, if any. Any thread.
void ShowProgressMessage(std::string_view text);
void StepProgress();
