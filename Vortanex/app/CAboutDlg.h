#pragma once
// The About box: product text, build number, OK and a link to the broker's
// web site (the configured web base address). Run it with ui::modalHost().
#include "ui/form.h"

namespace pf {
class Shell;
}

class CAboutDlg final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 101;
    static constexpr int kProductText = 1310;
    static constexpr int kBuildText = 1309;
    static constexpr int kSiteLink = 1311;

    CAboutDlg(pf::Shell& shell, QWidget* parent = nullptr);

protected:
    void onInit() override;

private:
    void OnSiteLink();

    pf::Shell& m_shell;
};
