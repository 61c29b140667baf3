#pragma once
// A port's hardware identity as the console outputs carry it: named fields in a fixed order
// (the TSV columns, the keys of a JSON port's "Identity" object), taken from the device
// entries the system keeps (scan/identity_reader.h) and matched by COM name.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "scan/port_identity.h"

namespace kestrune {

using IdentityValue = std::variant<std::string, int64_t, bool>;

struct IdentityField {
    std::string name;
    IdentityValue value;
};

// The fields known for one port, in the order of IdentityFieldNames(); a port without a
// device entry and without a COM number reservation has none.
using IdentityFields = std::vector<IdentityField>;

// Names of every identity field the outputs carry, in order (the TSV columns).
const std::vector<std::string>& IdentityFieldNames();

// The fields of one port from a hardware snapshot: the device that names it (a present one
// before a phantom) and the reason its COM number is reserved.
IdentityFields IdentityFieldsOf(const HardwareSnapshot& hardware, const std::string& portName);

// One identity per port name, in the order given, from one fresh snapshot. Reads only what
// the system keeps about devices: no port is opened.
std::vector<IdentityFields> ReadPortIdentities(const std::vector<std::string>& portNames);

// The field's value as text ("" when the port has no such field); flags as "yes"/"no".
std::string IdentityText(const IdentityFields& identity, const std::string& name);

// What the table shows for a port's device: the first identity field that names it
// ("Description" and the like), empty when none is known.
std::string IdentitySummary(const IdentityFields& identity);

}  // namespace kestrune
