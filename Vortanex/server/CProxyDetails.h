#pragma once
// The proxy credentials dialog: user name, password and domain of an
// authenticating proxy. OK stores them in the settings, sets the proxy-in-use
// flag and saves the settings, so every later exchange authenticates with
// them. UI thread only; the request function hands it there.
#include "ui/form.h"

class CProxyDetails final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 114;
    static constexpr int kUserName = 1071;
    static constexpr int kPassword = 1020;
    static constexpr int kDomain = 1023;

    explicit CProxyDetails(QWidget* parent = nullptr);

    // Runs the dialog with the process-wide modal host: 1 (IDOK) when the
    // credentials were stored, 2 (IDCANCEL) when nothing changed.
    int DoModal();

protected:
    void onInit() override;

private:
    void OnOK();
};
