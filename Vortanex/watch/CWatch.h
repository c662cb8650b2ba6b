#pragma once
// The "WatchList" dialog: adds, renames, removes, views and opens watch
// lists (actions 1 to 5). Add, rename and remove of a stored list go to the
// server first (Update_Watchlist) and change the watch-list table only when
// it accepted. Built with a caption and a name instead, it asks for a chart
// study's name. Run it with ui::modalHost(). UI thread.
#include "ui/form.h"

#include <string>

class CVortanexView;

class CWatch final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 107;
    static constexpr int kCategory = 1010; // lists (actions 2, 3) or categories (4, 5)
    static constexpr int kList = 1012;     // the lists of a category
    static constexpr int kName = 1015;
    static constexpr int kSelectLabel = 1016;
    static constexpr int kNameLabel = 1018;

    // A watch-list action for the view that opened it (none for the choosers
    // of a new window and of the application's "Open Watchlist").
    CWatch(CVortanexView* view, int action, int windowSlot, QWidget* parent = nullptr);
    // Chart-study mode: the caption and the study name to start from.
    CWatch(std::string caption, std::string studyName, QWidget* parent = nullptr);

    // The chosen list (actions 4 and 5), -1 when none.
    int chosenIndex() const { return m_chosen; }
    const std::string& studyName() const { return m_studyName; }

    void SetMessage();
    void OnOK();
    void OnCancel();

protected:
    void onInit() override;

private:
    void fillCategoryLists();
    void addList();
    void renameList();
    void removeList();
    void viewList();

    CVortanexView* m_view = nullptr;
    int m_action = 0;
    int m_windowSlot = -1;
    int m_chosen = -1;
    bool m_chartStudy = false;
    std::string m_studyName;
    std::string m_caption;
};

// The server's side of a list change: action 1 add (the new id into
// `listId`), 2 rename (name -> secondName), 3 remove. The reply's message
// goes to the message bar, and into a box when refused. 0 when accepted.
// The exchange runs on a worker while `busy` waits.
int Update_Watchlist(int action, int& listId, const std::string& userId, const std::string& name,
                     const std::string& secondName = {}, QWidget* busy = nullptr);

// The chooser behind CVortanexView::services().chooseWatchlist: action 4
// for a new window's list, 5 for "Open Watchlist". The index, -1 on Cancel.
int ChooseWatchlist(int action);
