#pragma once
// Work the module has started and not yet seen end: a worker thread still running, a stalled
// call that will return later. While any hold is taken the in-process server answers
// DllCanUnloadNow with S_FALSE, so the code such a thread runs stays mapped.
namespace kestrune {

void HoldModule();
void ReleaseModule();
long ModuleHolds();

// One hold for the owner's lifetime; a worker takes one for as long as it runs.
class ModuleHold {
public:
    ModuleHold() { HoldModule(); }
    ~ModuleHold() { ReleaseModule(); }
    ModuleHold(const ModuleHold&) = delete;
    ModuleHold& operator=(const ModuleHold&) = delete;
};

}  // namespace kestrune
