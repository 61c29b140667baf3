#pragma once
// A port's hardware identity (friendly name, USB VID:PID, serial number ...), carried beside
// its PortRecord and matched by COM name. Every console output has its place for it: the
// table's device column, trailing TSV columns, an "Identity" object per port in JSON.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace kestrune {

using IdentityValue = std::variant<std::string, int64_t, bool>;

struct IdentityField {
    std::string name;
    IdentityValue value;
};

// The fields known for one port, in the order of IdentityFieldNames(); a port without a
// device entry has none.
using PortIdentity = std::vector<IdentityField>;

// Names of every identity field the outputs carry, in order (the TSV columns).
const std::vector<std::string>& IdentityFieldNames();

// One identity per port name, in the order given. Reads only what the system keeps about
// devices: no port is opened.
std::vector<PortIdentity> ReadPortIdentities(const std::vector<std::string>& portNames);

// The field's value as text ("" when the port has no such field); flags as "yes"/"no".
std::string IdentityText(const PortIdentity& identity, const std::string& name);

// What the table shows for a port's device: the first identity field that names it
// ("Description" and the like), empty when none is known.
std::string IdentitySummary(const PortIdentity& identity);

}  // namespace kestrune
