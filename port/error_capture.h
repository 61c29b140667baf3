#pragma once
// The error capture: after a failed open, the record's six error fields tell what happened.
#include <cstdint>

#include "record/port_record.h"

namespace kestrune {

enum class AppErrorSource { kKeep, kChannel, kSystem };

// Which error the caller should show: the channel error when only it is set, the system
// error when only it is set; with both or neither set the previous one stays.
AppErrorSource ChooseAppError(int32_t rtError, uint32_t winError);

// WinError = the thread's last error with the system's message text (its line end kept),
// RtError = the running call's channel error with its table text, then AppError by
// ChooseAppError.
void CaptureErrors(PortRecord& record);

}  // namespace kestrune
