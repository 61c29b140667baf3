#pragma once
// Progress reporting: the scan writes its texts into a four-part status bar and lets one
// pending window message run, so the window stays alive on the single UI thread.
#include <cstdint>
#include <string_view>

#include "scan/port_record.h"

namespace kestrune {

// Sets status-bar parts 0..3 of record.StatusWindow to FunctionName and StatusText1..3,
// repaints it, then handles at most one pending message. A StatusWindow of 0 changes no
// window; the message still runs.
void ProgressUpdate(PortRecord& record);

// Takes at most one message of this thread off the queue and dispatches it, then sleeps.
// A quit message is put back on the queue so that the main loop still sees it.
void PumpOneMessage(int32_t& sleepMilliseconds);

// The per-step report: only when record.StatusWindow is not 0, FunctionName = routine,
// StatusText1 = step, StatusText2 = " ", StatusText3 = "", then ProgressUpdate.
void ReportStep(PortRecord& record, std::string_view routine, std::string_view step);

}  // namespace kestrune
