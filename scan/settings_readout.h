#pragma once
// Port settings readout: the line settings and the fourteen flow-control flags of the
// port behind a record's WinHandle, as the system's configuration block gives them.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "record/port_record.h"

namespace kestrune {

// Stop bits for a control-block stop-bit code (0 -> 1, 1 -> 1.5, 2 -> 2), in the record's
// fixed point; no value for any other code.
std::optional<int64_t> StopBitsFromCode(uint32_t code);

// "None", "Odd", "Even", "Mark", "Space" for the parity codes 0..4; no value otherwise.
std::optional<std::string_view> ParityNameFromCode(int32_t code);

// FlowControlBits from the control block's 32-bit flag word (the word after the baud rate).
uint32_t FlowControlBitsFromFlags(uint32_t dcbFlags);

// The control block's flag word inside a configuration block.
uint32_t DcbFlagWord(const COMMCONFIG& config);

// Baud, DataBits, StopBits, Parity and ParityName from the record's own CommConfig.
void ApplyCommConfig(PortRecord& record);

// The parameters readout: reports "Get <port> Parameters" (when the record has a status
// window), asks the system for the configuration block into CommConfig and applies it. A
// failed call applies whatever CommConfig already held.
void ReadPortParameters(PortRecord& record);

extern const char kParametersRoutineName[];

// The flow-control step: FlowControlBits from the port's configuration; all fourteen flags
// 0 when the configuration cannot be read. CommConfig is not touched. Returns 0.
int32_t ReadFlowControl(PortRecord& record);

}  // namespace kestrune
