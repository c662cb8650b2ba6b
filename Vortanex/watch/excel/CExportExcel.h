#pragma once
// "Export to Excel": a new workbook ("New Excel"), or a workbook file chosen
// with "..." and taken with "Select" (enabled only once a file was chosen;
// the path itself cannot be typed). Run it with ui::modalHost(); outcome 1
// when a choice was made. UI thread.
#include "ui/form.h"

#include <functional>
#include <string>

class CExportExcel final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 285;
    static constexpr int kNewExcel = 1; // the dialog's OK
    static constexpr int kBrowse = 1448;
    static constexpr int kSelect = 1449;
    static constexpr int kPath = 1450;
    static constexpr int kUnused = 1452;

    explicit CExportExcel(QWidget* parent = nullptr);

    // "NEWBOOK" for a new workbook, empty for a chosen file.
    const std::string& result() const { return m_result; }
    const std::string& path() const { return m_path; }

    // The open-file dialog (tests replace it): the chosen path, empty when
    // cancelled.
    static std::function<std::string(QWidget* parent, const std::string& filter)>& fileChooser();
    static const char* const kFilter;

    void OnOK();
    void OnSelect();
    void OnBrowse();

protected:
    void onInit() override;

private:
    std::string m_result;
    std::string m_path;
};
