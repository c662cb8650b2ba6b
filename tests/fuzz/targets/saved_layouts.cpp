// The layouts the program reads back from disk: a grid's saved column layout
// (the profile's blob) and the chart's study files (a whole chart, its
// drawn objects, its indicators and panels). The first byte picks the
// reader; the rest is the blob or the file.
// Properties: a layout that decodes has a column per name, visual places
// and groups among its columns, and encodes to a blob that decodes to the
// same layout; a study file that loads writes back to a file that loads and
// writes the same bytes again, and a file that does not load leaves the
// chart as it was.
#include "../FuzzTarget.h"

#include "market/RecordingChartControl.h"
#include "pf/files.h"
#include "ui/grid_layout_state.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace saved_layouts {

namespace {

// The run's own folder, removed when the process ends.
struct Folder {
    Folder()
    {
        char name[] = "/tmp/vx_fuzz_layouts.XXXXXX";
        const char* made = ::mkdtemp(name);
        FUZZ_CHECK(made != nullptr);
        path = made;
    }
    ~Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

const std::filesystem::path& folder()
{
    static const Folder made;
    return made.path;
}

void gridLayout(std::string_view blob)
{
    const std::optional<ui::GridLayoutState> state = ui::GridLayoutState::decode(blob);
    if (!state)
        return;
    FUZZ_CHECK(state->columns.size() == state->names.size());
    const int count = int(state->names.size());
    for (const ui::GridLayoutState::Column& c : state->columns)
        FUZZ_CHECK(c.visualIndex >= 0 && c.visualIndex < count && c.width >= 0);
    FUZZ_CHECK(state->sortColumn >= -1 && state->sortColumn < count);
    for (int g : state->groupColumns)
        FUZZ_CHECK(g >= 0 && g < count);
    const std::string written = state->encode();
    const std::optional<ui::GridLayoutState> again = ui::GridLayoutState::decode(written);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *state);
    FUZZ_CHECK(again->encode() == written);
}

using Reader = int (ChartControlBase::*)(const std::string&);
using Writer = int (ChartControlBase::*)(const std::string&);

void studyFile(std::string_view bytes, Reader read, Writer write)
{
    const std::string input = (folder() / "input.scgx").string();
    const std::string first = (folder() / "first.scgx").string();
    const std::string second = (folder() / "second.scgx").string();
    FUZZ_CHECK(pf::files::writeAll(input, bytes));
    RecordingChartControl chart;
    FUZZ_CHECK((chart.*write)(first) == 0);
    const std::string before = pf::files::readAll(first).value_or("");
    if ((chart.*read)(input) != 0) {
        // A damaged file leaves the chart as it was.
        FUZZ_CHECK((chart.*write)(first) == 0);
        FUZZ_CHECK(pf::files::readAll(first).value_or("") == before);
        return;
    }
    FUZZ_CHECK((chart.*write)(first) == 0);
    const std::string written = pf::files::readAll(first).value_or("");
    RecordingChartControl again;
    FUZZ_CHECK((again.*read)(first) == 0);
    FUZZ_CHECK((again.*write)(second) == 0);
    FUZZ_CHECK(pf::files::readAll(second).value_or("") == written);
}

} // namespace

FUZZ_TARGET(saved_layouts)
{
    if (size < 1)
        return;
    const std::string_view bytes = fuzz::text(data + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        gridLayout(bytes);
        break;
    case 1:
        studyFile(bytes, &ChartControlBase::readChart, &ChartControlBase::writeChart);
        break;
    case 2:
        studyFile(bytes, &ChartControlBase::readObjects, &ChartControlBase::writeObjects);
        break;
    default:
        studyFile(bytes, &ChartControlBase::readIndicators, &ChartControlBase::writeIndicators);
        break;
    }
}

} // namespace saved_layouts
