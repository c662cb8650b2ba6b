#pragma once
// A test that tries the program's themes changes the whole application's
// look. This puts it back when the test's scope ends, also when an assertion
// ends the test early, so the tests after it run in the look they expect.
#include <QPalette>
#include <QString>

#include <functional>

namespace testkit {

class KeepLook {
public:
    // `restoreMore` puts back what else the test changed with the look (the
    // settings' theme id), before the palette and style sheet.
    explicit KeepLook(std::function<void()> restoreMore = {});
    ~KeepLook();
    KeepLook(const KeepLook&) = delete;
    KeepLook& operator=(const KeepLook&) = delete;

private:
    std::function<void()> m_restoreMore;
    QPalette m_palette;
    QString m_styleSheet;
};

} // namespace testkit
