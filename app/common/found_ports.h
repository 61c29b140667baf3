#pragma once
// Whether a scan found any serial port at all: both front ends say so in their own words.
#include <vector>

#include "record/port_record.h"

namespace kestrune {

// A scan of a machine without serial ports: its one record names no device and did not
// open (a record nobody scanned, with no status, does not count).
bool NoSerialPortsFound(const std::vector<PortRecord>& records);

}  // namespace kestrune
