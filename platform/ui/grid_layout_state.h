#pragma once
// A grid's saved column layout (order, widths, hidden columns, sort state,
// group columns)
// kept by name in the profile store. The blob carries a version and the column
// names it was taken from: a layout saved for another column set (an older
// build, another view) is ignored rather than applied to the wrong columns.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pf {
class ProfileStore;
}

namespace ui {

struct GridLayoutState {
    static constexpr int kVersion = 2; // 1 had no group columns; it still loads

    struct Column {
        int visualIndex = 0;
        int width = 0;
        bool hidden = false;
        bool operator==(const Column&) const = default;
    };

    std::vector<std::string> names; // the column set the layout belongs to
    std::vector<Column> columns;    // by logical column
    int sortColumn = -1;
    bool ascending = true;
    std::vector<int> groupColumns; // outer level first

    bool operator==(const GridLayoutState&) const = default;

    std::string encode() const;
    // nullopt for a damaged blob or one of another version.
    static std::optional<GridLayoutState> decode(std::string_view blob);

    // Under section `name`, key "GridLayout". A stored layout of another column
    // set (or a damaged one) loads as nullopt.
    bool save(pf::ProfileStore& store, std::string_view name) const;
    static std::optional<GridLayoutState> load(const pf::ProfileStore& store, std::string_view name,
                                               const std::vector<std::string>& currentNames);

    // The store grids use when their owner names none (set by the program at
    // start-up, by tests per fixture); may be null. UI thread.
    static pf::ProfileStore* defaultStore();
    static void setDefaultStore(pf::ProfileStore* store);
};

} // namespace ui
