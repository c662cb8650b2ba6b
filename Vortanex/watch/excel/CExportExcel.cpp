#include "watch/excel/CExportExcel.h"

#include "app/base/MessageBox.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace {

ui::FormSpec exportExcelSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CExportExcel::kTemplateId;
    spec.name = "CExportExcel";
    spec.caption = "Export to Excel";
    spec.width = 260;
    spec.height = 80;
    spec.controls = {
        {-1, ControlKind::Label, "Browse Excel Sheet", {8, 8, 120, 8}},
        {CExportExcel::kPath, ControlKind::Edit, "", {8, 20, 200, 14}},
        {CExportExcel::kBrowse, ControlKind::Button, "...", {212, 20, 40, 14}},
        {CExportExcel::kNewExcel, ControlKind::Button, "New Excel", {8, 56, 60, 14}},
        {CExportExcel::kSelect, ControlKind::Button, "Select", {100, 56, 60, 14}},
        {2, ControlKind::Button, "Cancel", {192, 56, 60, 14}},
    };
    return spec;
}

} // namespace

const char* const CExportExcel::kFilter = "xlsx files (*.xlsx);;xls Files (*.xls);;ods files (*.ods);;All files (*)";

std::function<std::string(QWidget*, const std::string&)>& CExportExcel::fileChooser()
{
    static std::function<std::string(QWidget*, const std::string&)> chooser = [](QWidget* parent,
                                                                                   const std::string& filter) {
        return QFileDialog::getOpenFileName(parent, QString(), QString(), QString::fromStdString(filter))
            .toStdString();
    };
    return chooser;
}

CExportExcel::CExportExcel(QWidget* parent) : ui::Form(exportExcelSpec(), parent)
{
    onClick(kNewExcel, [this] { OnOK(); });
    onClick(kSelect, [this] { OnSelect(); });
    onClick(kBrowse, [this] { OnBrowse(); });
}

void CExportExcel::onInit()
{
    // The path comes from "..." only.
    if (auto* edit = qobject_cast<QLineEdit*>(control(kPath)))
        edit->setReadOnly(true);
    enable(kPath, false);
    enable(kSelect, false);
}

void CExportExcel::OnOK()
{
    m_result = "NEWBOOK";
    finish(1);
}

void CExportExcel::OnSelect()
{
    m_result.clear();
    m_path = text(kPath);
    if (m_path.empty()) {
        MsgBoxInfoCaption("File path can not be blank", "Vortanex");
        return;
    }
    finish(1);
}

void CExportExcel::OnBrowse()
{
    const std::string chosen = fileChooser() ? fileChooser()(this, kFilter) : std::string();
    if (chosen.empty())
        return;
    if (!QFileInfo(QString::fromStdString(chosen)).isFile()) {
        MsgBoxInfoCaption("File not found in location", "Vortanex");
        return;
    }
    setText(kPath, chosen);
    m_path = chosen;
    enable(kSelect, true);
}
