#pragma once
// Which ports of a scan are cabled to each other. The cable experiment finds a port whose DSR
// and CTS follow another free port's DTR and RTS: the far end of a null-modem cable from it.
// The verdict is written as "cabled to COM8" into the port's AttachedDevice, which no other
// step fills (the window's "Device" column and the report's "Attached Device").
#include <string>

#include "record/port_record.h"

namespace kestrune {

constexpr char kCabledToPrefix[] = "cabled to ";

// The COM name of a record's cabled neighbour ("COM8"); empty when none is known.
std::string CabledTo(const PortRecord& record);

}  // namespace kestrune
