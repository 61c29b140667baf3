#pragma once
// A scanned record's values in the forms people and scripts read: line settings in the
// usual short form, the DTR and RTS control modes, the flow-control flags by name, the
// program that holds a port.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "record/port_record.h"

namespace kestrune {

// "9600 8N1", "19200 7E2", "9600 8N1.5" (parity N O E M S; another code gives "?");
// empty when no settings were read (baud 0).
std::string LineSettingsText(int32_t baud, int32_t dataBits, int32_t parity, int64_t stopBits);
std::string LineSettingsText(const PortRecord& record);

// The control block's two-bit DTR and RTS modes by name: "disable", "enable", "handshake",
// and for RTS "toggle". Nothing when the record holds no control block (size word 0) or the
// mode has no meaning (DTR mode 3).
std::optional<std::string_view> DtrControlName(const PortRecord& record);
std::optional<std::string_view> RtsControlName(const PortRecord& record);

// The fourteen flow-control flags by name, from bit 0 upward.
const std::array<std::string_view, kFlowBitCount>& FlowFlagNames();

// The owner of a port that another program holds: its path and process id as
// "C:\lab\holder.exe (pid 312)". Empty when no owner was found or the owner is the
// scanning program itself.
std::string ForeignOwnerText(const PortRecord& record);

// The owner's path read whole (UTF-8, scan/owner_process.h) when it is the one the record holds:
// the system's ANSI form of it is the record's ProgramPath. Empty otherwise (no foreign owner,
// nothing read, or another program has the process id by now).
std::string WholeOwnerPath(const PortRecord& record, std::string_view pathRead);
// ForeignOwnerText as UTF-8, with wholePath (when not empty) in place of the record's path.
std::string ForeignOwnerTextUtf8(const PortRecord& record, std::string_view wholePath);
// The record field ProgramPath, ProgramFolder or ProgramName (UTF-8) from wholePath; nothing
// for another field or an empty path.
std::optional<std::string> WholeOwnerField(std::string_view field, std::string_view wholePath);

}  // namespace kestrune
