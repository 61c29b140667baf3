#pragma once
// One port as the console front end prints it: the scan's record (or, for the gentle
// listing, only the names discovery found) and the port's identity beside it.
#include <cstddef>
#include <string_view>
#include <vector>

#include "app/console/identity_fields.h"
#include "record/port_record.h"

namespace kestrune {

struct ConsoleRow {
    PortRecord record{};
    IdentityFields identity;
    std::size_t discoveryIndex = 0;  // the port's place in the scan's (or listing's) order, from 0
    std::string ownerPath;  // the owner's path read whole (UTF-8) when it is the record's; else empty
};

// Which run produced the rows: a full scan, or the gentle listing (discovery only, no port
// opened), whose records hold nothing but PortName, DeviceName, sObjName and Name.
enum class RowSource { kScan, kListing };

// A port whose device the system's device map lists (its device name is not just the port
// name again, which is what a port that only the port list knows gets).
inline bool PortPresent(std::string_view deviceName, std::string_view portName) {
    return !deviceName.empty() && deviceName != portName;
}

}  // namespace kestrune
