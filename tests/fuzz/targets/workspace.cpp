// The saved workspace record as the profile holds it.
// Properties: a record that reads writes back to text that reads to the same
// record; no more windows than the record bounds; an older record's pane
// layout is never kept.
#include "../FuzzTarget.h"

#include "frame/Workspace.h"

FUZZ_TARGET(workspace)
{
    const std::optional<WorkspaceState> state = ParseWorkspace(fuzz::text(data, size));
    if (!state)
        return;
    FUZZ_CHECK(state->documents.size() <= 200);
    FUZZ_CHECK(state->windows.size() <= 200);
    FUZZ_CHECK(!state->docksUnchecked || state->docks.isEmpty());
    const std::string written = FormatWorkspace(*state);
    const std::optional<WorkspaceState> again = ParseWorkspace(written);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(again->groupStacking == state->groupStacking);
    FUZZ_CHECK(again->documents == state->documents);
    FUZZ_CHECK(again->windows == state->windows);
    FUZZ_CHECK(again->active == state->active);
    FUZZ_CHECK(again->docks == state->docks);
    FUZZ_CHECK(!again->docksUnchecked);
    FUZZ_CHECK(FormatWorkspace(*again) == written);
}
