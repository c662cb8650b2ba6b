#pragma once
// The risk disclosure on derivatives that the login shows when the server's
// switches ask for it and the user has not accepted it yet: a wide panel with
// the study's four points and its source, which the user acknowledges.
// Escape does not close it.
#include "ui/form.h"

#include <string>

class QTextBrowser;

namespace pf {
class Shell;
}

class CDlgRiskDiscloser final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 309;
    static constexpr int kTitle = 1578;
    static constexpr int kText = 1579;
    // The study the "Source:" link opens.
    static constexpr const char* kStudyAddress =
        "https://www.sebi.gov.in/reports-and-statistics/research/jan-2023/"
        "study-analysis-of-profit-and-loss-of-individual-traders-dealing-in-equity-fando-segment_67525.html";

    explicit CDlgRiskDiscloser(pf::Shell& shell, QWidget* parent = nullptr);

    void setTitle(std::string title) { m_title = std::move(title); }
    // The panel's content as HTML: heading, the four points and the source.
    static std::string DisclosureHtml();
    static constexpr const char* kDefaultTitle = "Risk Disclosure on Derivatives";

    QTextBrowser* textView() const { return m_view; }
    // The link of the text was clicked.
    void OnLink(const std::string& address);

public slots:
    void reject() override;

protected:
    void onInit() override;

private:
    pf::Shell& m_shell;
    std::string m_title = kDefaultTitle;
    QTextBrowser* m_view = nullptr;
};
