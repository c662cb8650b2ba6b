#include "server/MarketLookups.h"
#include "server/SecurityTable.h"

#include "market/CWorkspaceBar.h"

#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "market/CEodChartView.h"

#include "ui/prompter.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <system_error>
#include <vector>

namespace workspace_bar_detail {
namespace {

CWorkspaceBar* g_bar = nullptr;

std::vector<std::string> splitDash(const std::string& s)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t dash = s.find('-', start);
        parts.push_back(s.substr(start, dash == std::string::npos ? std::string::npos : dash - start));
        if (dash == std::string::npos)
            break;
        start = dash + 1;
    }
    return parts;
}

int toInt(const std::string& s)
{
    try {
        return std::stoi(s);
    } catch (...) {
        return 0;
    }
}

bool removeFile(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return true;
    const bool ok = std::filesystem::remove(path, ec);
    WriteLog(0, (ok ? "deleted Chart study " : "Chart study could not be deleted: ") + path);
    return ok;
}

} // namespace
} // namespace workspace_bar_detail

std::string StudyIndicatorsPath(const std::string& objectsPath)
{
    std::filesystem::path p(objectsPath);
    p.replace_extension(".scox");
    return p.string();
}

CWorkspaceBar::CWorkspaceBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("CWorkspaceBar");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QString::number(kTreeId));
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(m_tree);
    const char* names[] = {"EOD", "Intraday", "Index"};
    for (int i = 0; i < 3; ++i)
        m_roots[i] = new QTreeWidgetItem(m_tree, QStringList(names[i]));
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) { OpenStudy(item); });
    connect(m_tree, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QPoint g = m_tree->viewport()->mapToGlobal(pos);
        showMenu(m_tree->itemAt(pos), g.x(), g.y());
    });
    workspace_bar_detail::g_bar = this;
}

CWorkspaceBar::~CWorkspaceBar()
{
    if (workspace_bar_detail::g_bar == this)
        workspace_bar_detail::g_bar = nullptr;
}

CWorkspaceBar* CWorkspaceBar::instance()
{
    return workspace_bar_detail::g_bar;
}

QTreeWidgetItem* CWorkspaceBar::root(int folderKind) const
{
    return folderKind >= 1 && folderKind <= 3 ? m_roots[folderKind - 1] : nullptr;
}

const StudyInfo* CWorkspaceBar::find(int folderKind, const std::string& name) const
{
    auto it = m_studies.find({folderKind, name});
    return it == m_studies.end() ? nullptr : &it->second;
}

StudyInfo* CWorkspaceBar::infoOf(QTreeWidgetItem* item)
{
    for (auto& [key, info] : m_studies)
        if (info.item == item)
            return &info;
    return nullptr;
}

QTreeWidgetItem* CWorkspaceBar::addItem(int folderKind, const std::string& name, bool full)
{
    auto* item = new QTreeWidgetItem(root(folderKind), QStringList(QString::fromStdString(name)));
    item->setData(0, Qt::UserRole, full ? 0 : 1);
    return item;
}

void CWorkspaceBar::FillStudyTree(const std::filesystem::path& rootFolder)
{
    for (auto& [key, info] : m_studies)
        delete info.item;
    m_studies.clear();
    for (int kind = 1; kind <= 3; ++kind) {
        const std::filesystem::path folder = rootFolder / std::to_string(kind);
        std::error_code ec;
        std::vector<std::filesystem::path> files;
        for (auto it = std::filesystem::directory_iterator(folder, ec); !ec && it != std::filesystem::directory_iterator();
             it.increment(ec)) {
            if (it->is_regular_file(ec) && it->path().extension() == ".scgx")
                files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            const std::string stem = file.stem().string();
            const std::vector<std::string> parts = workspace_bar_detail::splitDash(stem);
            StudyInfo info;
            info.folderKind = kind;
            info.path = file.string();
            if (parts.size() < 4) {
                info.name = stem;
                info.kind = kChartSaved;
            } else {
                info.name = parts[0];
                info.kind = kind;
                info.token = workspace_bar_detail::toInt(parts[1]);
                info.style = workspace_bar_detail::toInt(parts[2]);
                info.interval = workspace_bar_detail::toInt(parts[3]);
            }
            WriteLog(0, "[" + info.name + "]Type[" + std::to_string(info.kind) + "]");
            auto old = m_studies.find({kind, info.name});
            if (old != m_studies.end()) {
                // One entry a name: the later file's values.
                info.item = old->second.item;
                old->second = info;
                continue;
            }
            info.item = addItem(kind, info.name, info.kind == kChartSaved);
            m_studies[{kind, info.name}] = info;
        }
    }
    m_tree->expandAll();
}

bool CWorkspaceBar::confirmOverwrite(int folderKind, const std::string& name)
{
    if (!find(folderKind, name))
        return true;
    return MyMessageBox("The given template name already exists. Do you want to overwrite it?", kProductCaption,
                        MsgYesNo | MsgIconQuestion) == 6;
}

void CWorkspaceBar::AddStudy(const std::string& name, const std::string& path, int folderKind, int style, int interval,
                             int token)
{
    if (!root(folderKind))
        return;
    auto it = m_studies.find({folderKind, name});
    if (it != m_studies.end()) {
        // The new files are written; the old ones go only when they are others.
        if (it->second.path != path) {
            workspace_bar_detail::removeFile(it->second.path);
            if (it->second.kind != kChartSaved)
                workspace_bar_detail::removeFile(StudyIndicatorsPath(it->second.path));
        }
        delete it->second.item;
        m_studies.erase(it);
    }
    StudyInfo info;
    info.name = name;
    info.path = path;
    info.folderKind = folderKind;
    info.kind = style == 0 ? kChartSaved : folderKind;
    info.style = style;
    info.interval = interval;
    info.token = token;
    info.item = addItem(folderKind, name, info.kind == kChartSaved);
    m_studies[{folderKind, name}] = info;
    root(folderKind)->setExpanded(true);
    WriteLog(0, "saving Chart study " + name + " saved to map ");
}

void CWorkspaceBar::OpenStudy(QTreeWidgetItem* item)
{
    const StudyInfo* info = infoOf(item);
    if (!info)
        return;
    QWidget* frame = window();
    if (info->kind == kChartSaved) {
        OpenStudyChart(0, kChartSaved, 0, 0, info->name, info->path, std::string(), frame);
        return;
    }
    const auto table = SecurityTable::current();
    int security = -1;
    if (info->kind == kChartIndex) {
        // Index studies keep the index's broadcast id.
        security = -1;
        const auto indices = IndexTable::instance().entries();
        for (size_t i = 0; i < indices.size(); ++i)
            if (indices[i].feedCode == info->token)
                security = int(i);
    } else if (table) {
        security = table->searchWToken(info->token);
    }
    if (security < 0) {
        MyMessageBox("The Security No Longer Exists", kProductCaption, MsgIconWarning);
        return;
    }
    OpenStudyChart(security, info->kind, info->style, info->interval, info->name, info->path,
                   StudyIndicatorsPath(info->path), frame);
}

bool CWorkspaceBar::DeleteStudy(QTreeWidgetItem* item)
{
    StudyInfo* info = infoOf(item);
    if (!info) {
        MyMessageBox("Unable to delete ,the record is not loaded correctly", kProductCaption, MsgIconWarning);
        return false;
    }
    if (MsgBoxStyle("Are you sure you want to delete the chart study [" + info->name + "]?", MsgYesNo | MsgIconQuestion) != 6)
        return false;
    bool ok = workspace_bar_detail::removeFile(info->path);
    if (ok && info->kind != kChartSaved)
        ok = workspace_bar_detail::removeFile(StudyIndicatorsPath(info->path));
    if (!ok) {
        MyMessageBox("The chart study [" + info->name + "] could not be deleted.", kProductCaption, MsgIconError);
        return false;
    }
    delete info->item;
    m_studies.erase({info->folderKind, info->name});
    return true;
}

bool CWorkspaceBar::RenameStudy(QTreeWidgetItem* item)
{
    StudyInfo* info = infoOf(item);
    if (!info) {
        MyMessageBox("Unable to rename ,the record is not loaded correctly", kProductCaption, MsgIconWarning);
        return false;
    }
    if (MsgBoxStyle("Are you sure you want to rename the chart study [" + info->name + "]?", MsgYesNo | MsgIconQuestion) != 6)
        return false;
    std::string name = info->name;
    const auto& ask = CEodChartView::services().askStudyName;
    if (!ask || !ask(this, "Rename chart study", name) || name == info->name)
        return false;
    if (find(info->folderKind, name)) {
        MyMessageBox("A chart study named [" + name + "] exists already.", kProductCaption, MsgIconWarning);
        return false;
    }
    // Only the leading name changes: token, style and interval stay.
    const std::filesystem::path old(info->path);
    const std::string stem = old.stem().string();
    const std::string rest = stem.substr(std::min(stem.size(), info->name.size()));
    std::filesystem::path renamed = old.parent_path() / (name + rest + ".scgx");
    std::error_code ec;
    if (std::filesystem::exists(renamed, ec)) {
        MyMessageBox("A chart study named [" + name + "] exists already.", kProductCaption, MsgIconWarning);
        return false;
    }
    std::filesystem::rename(old, renamed, ec);
    if (ec) {
        MyMessageBox("The chart study [" + info->name + "] could not be renamed.", kProductCaption, MsgIconError);
        return false;
    }
    if (info->kind != kChartSaved) {
        std::filesystem::rename(StudyIndicatorsPath(old.string()), StudyIndicatorsPath(renamed.string()), ec);
        if (ec) {
            std::error_code back;
            std::filesystem::rename(renamed, old, back); // keep the pair together
            MyMessageBox("The chart study [" + info->name + "] could not be renamed.", kProductCaption, MsgIconError);
            return false;
        }
    }
    StudyInfo moved = *info;
    m_studies.erase({info->folderKind, info->name});
    moved.name = name;
    moved.path = renamed.string();
    moved.item->setText(0, QString::fromStdString(name));
    m_studies[{moved.folderKind, name}] = moved;
    return true;
}

void CWorkspaceBar::showMenu(QTreeWidgetItem* item, int x, int y)
{
    if (!item)
        return;
    ui::MenuSpec spec;
    ui::MenuItem del;
    del.id = ID_DELETE_STUDY;
    del.text = "Delete Study";
    ui::MenuItem ren;
    ren.id = ID_RENAME_STUDY;
    ren.text = "Rename Study";
    spec.items = {del, ren};
    const int chosen = ui::prompter().pickMenuCommand(spec, x, y);
    if (chosen == ID_DELETE_STUDY)
        DeleteStudy(item);
    else if (chosen == ID_RENAME_STUDY)
        RenameStudy(item);
}
