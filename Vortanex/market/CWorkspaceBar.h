#pragma once
// The "Charts" pane: every saved chart study of the user in a tree (roots
// EOD, Intraday, Index) built from the study folders, opened by double click,
// deleted and renamed from its context menu. Studies are keyed by chart kind
// and name, so the same name in two kinds names two studies. UI thread.
#include <QWidget>

#include <filesystem>
#include <map>
#include <string>
#include <utility>

class QTreeWidget;
class QTreeWidgetItem;

struct StudyInfo {
    int interval = 0;
    int style = 0;
    int kind = 0;       // the chart kind, 4 for a full chart
    int folderKind = 0; // the kind folder the files are in (1-3)
    int token = 0;
    QTreeWidgetItem* item = nullptr;
    std::string name;
    std::string path;   // the ".scgx" file
};

class CWorkspaceBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTreeId = 10012;
    static constexpr int ID_DELETE_STUDY = 33300, ID_RENAME_STUDY = 33301;

    explicit CWorkspaceBar(QWidget* parent = nullptr);
    ~CWorkspaceBar() override;
    static CWorkspaceBar* instance();

    // Rebuilds the tree from <root>/<kind>/*.scgx.
    void FillStudyTree(const std::filesystem::path& root);
    // Whether a study of this name may be written: true when there is none
    // or the user agreed to overwrite it.
    bool confirmOverwrite(int folderKind, const std::string& name);
    // A study just written: enters it, replacing an older one of the name
    // (whose files go when they differ from the new ones).
    void AddStudy(const std::string& name, const std::string& path, int folderKind, int style, int interval, int token);
    // The tree's commands on the study of an item.
    void OpenStudy(QTreeWidgetItem* item);
    bool DeleteStudy(QTreeWidgetItem* item);
    bool RenameStudy(QTreeWidgetItem* item);
    void showMenu(QTreeWidgetItem* item, int x, int y);

    QTreeWidget* tree() const { return m_tree; }
    QTreeWidgetItem* root(int folderKind) const;
    const std::map<std::pair<int, std::string>, StudyInfo>& studies() const { return m_studies; }
    const StudyInfo* find(int folderKind, const std::string& name) const;

private:
    StudyInfo* infoOf(QTreeWidgetItem* item);
    QTreeWidgetItem* addItem(int folderKind, const std::string& name, bool full);

    QTreeWidget* m_tree = nullptr;
    QTreeWidgetItem* m_roots[3] = {};
    std::map<std::pair<int, std::string>, StudyInfo> m_studies;
};

// The ".scox" file beside a trend study's ".scgx".
std::string StudyIndicatorsPath(const std::string& objectsPath);
