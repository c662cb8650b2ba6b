#pragma once
// "Watchlist - Column Selection": which of the 23 value columns a watch list
// shows and in which order. "Save" sets them for the view's list (result 1),
// "Set As Default" for every list and the stored default layout (result 2).
// Run it with ui::modalHost(). UI thread.
#include "ui/form.h"

#include <string>
#include <vector>

class CColumnSelect final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 124;
    static constexpr int kAvailable = 1137;
    static constexpr int kSelected = 1292;
    static constexpr int kAdd = 1142;
    static constexpr int kRemove = 1166;
    static constexpr int kMoveUp = 1171;
    static constexpr int kMoveDown = 1161;
    static constexpr int kWatchlists = 1168;
    static constexpr int kSave = 1176;
    static constexpr int kSetDefault = 1222;

    // The view's list and the captions of its visible value columns in
    // display order.
    CColumnSelect(int watchIndex, std::vector<std::string> chosen, QWidget* parent = nullptr);

    // 0 nothing saved, 1 saved for the list, 2 made the default.
    int result() const { return m_result; }
    const std::vector<std::string>& chosen() const { return m_chosen; }

    void OnAdd();
    void OnRemove();
    void OnMoveUp();
    void OnMoveDown();
    void OnSave();
    void OnSetDefault();

protected:
    void onInit() override;

private:
    void SetMessage();
    std::vector<std::string> selectedCaptions() const;
    void setSelected(const std::vector<std::string>& captions, int current);
    // The kinds of the selected captions, in order (unknown captions skipped).
    std::vector<int> selectedKinds();

    int m_watchIndex = -1;
    int m_result = 0;
    std::vector<std::string> m_chosen;
};
