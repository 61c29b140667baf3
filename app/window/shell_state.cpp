#include "app/window/shell_state.h"

#include "app/window/control_ids.h"

namespace kestrune {

ShellState& Shell() {
    static ShellState shell;
    return shell;
}

std::vector<PortRecord>* RoadResults(ShellState& shell, uint32_t commandId) {
    switch (commandId) {
        case kRefreshId: return &shell.DirectResults;
        case kRefreshEarlyBoundId: return &shell.EarlyBoundResults;
        case kRefreshLateBoundId: return &shell.LateBoundResults;
        case kRefreshNoRegistryId: return &shell.NoRegistryResults;
        default: return nullptr;
    }
}

const PortRecord* DisplayedRecord(ShellState& shell, size_t row) {
    if (const std::vector<PortRecord>* road = RoadResults(shell, shell.LastCommandId)) {
        if (shell.DisplayGeneration != shell.ResultsGeneration || shell.DisplaySource != shell.LastCommandId) {
            shell.DisplayResults = *road;
            shell.DisplayGeneration = shell.ResultsGeneration;
            shell.DisplaySource = shell.LastCommandId;
        }
    }
    return row < shell.DisplayResults.size() ? &shell.DisplayResults[row] : nullptr;
}

}  // namespace kestrune
