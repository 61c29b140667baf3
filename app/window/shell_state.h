#pragma once
// The window shell's state: the arrays each refresh command fills, the command last run, and
// whether a refresh runs or the window closes. The dialog, the refresh, the class roads and
// the progress sink all read and write it on the user-interface thread.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "record/port_record.h"

namespace kestrune {

// The shell's global state, owned by the user-interface thread for the whole run.
struct ShellState {
    HWND MainDialog = nullptr;
    uint32_t LastCommandId = 0;
    std::vector<PortRecord> DirectResults;
    std::vector<PortRecord> EarlyBoundResults;
    std::vector<PortRecord> LateBoundResults;
    std::vector<PortRecord> NoRegistryResults;
    // A copy of the array of LastCommandId as of the last paint of a coloured row.
    std::vector<PortRecord> DisplayResults;
    // True while a refresh command runs: a command that arrives through the pumped
    // messages in the meantime must not start a second scan inside the first.
    bool RefreshRunning = false;
    // Set once the window is being closed (close button, close message, or destroyed while
    // a refresh runs): a running scan stops at its next step, and nothing touches the
    // window after that.
    bool CloseRequested = false;
    // Rises whenever the road arrays change, so DisplayResults is copied once per change.
    uint64_t ResultsGeneration = 1;
    uint64_t DisplayGeneration = 0;
    uint32_t DisplaySource = 0;
};

ShellState& Shell();

// The road array a command identifier fills (1026..1029), or null for any other.
std::vector<PortRecord>* RoadResults(ShellState& shell, uint32_t commandId);

// The row's record for the custom-draw colours: record `row` of the array that belongs to
// LastCommandId (DisplayResults for any other identifier), or null past its end. Keeps
// DisplayResults a copy of that array, copying only when the array has changed.
const PortRecord* DisplayedRecord(ShellState& shell, size_t row);

}  // namespace kestrune
