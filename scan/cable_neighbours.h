#pragma once
// Which ports of a scan are cabled to each other. While one port's cable test drives its
// lines, the other ports the scan holds are read too: a port whose DSR follows the driven
// DTR and whose CTS follows the driven RTS is the far end of a null-modem cable from it.
// The verdict is written as "cabled to COM8" into the driven port's AttachedDevice, which
// no other step fills (the window's "Device" column and the report's "Attached Device").
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "record/port_record.h"
#include "support/handles.h"

namespace kestrune {

constexpr char kCabledToPrefix[] = "cabled to ";

// The COM name of a record's cabled neighbour ("COM8"); empty when none is known.
std::string CabledTo(const PortRecord& record);

// Whether a neighbour's status answered a drive: its DSR moved from dsrBefore the way the
// driven DTR went (raised: on), and its CTS likewise with RTS.
bool NeighbourAnswered(uint32_t before, uint32_t after, bool dtrRaised, bool rtsRaised);

// The ports a scan drives, each through a duplicate of its handle that this registry owns
// (a port whose task was given up may be closed by its late return meanwhile). One is
// active for the per-port pass (CableNeighboursScope); the cable test asks it.
class CableNeighbours {
public:
    void Add(std::string_view portName, HANDLE port);

    struct Reading {
        std::vector<uint32_t> status;  // per neighbour, 0 when it could not be read
    };
    // Reads every port but `self`.
    Reading Read(std::string_view self) const;
    // The first port but `self` that answered the drive between the two readings.
    std::string Answering(std::string_view self, const Reading& before, const Reading& after, bool dtrRaised,
                          bool rtsRaised) const;

private:
    struct Entry {
        std::string name;
        UniqueHandle handle;
    };
    std::vector<Entry> ports_;
};

class CableNeighboursScope {
public:
    explicit CableNeighboursScope(CableNeighbours& neighbours);
    ~CableNeighboursScope();
    CableNeighboursScope(const CableNeighboursScope&) = delete;
    CableNeighboursScope& operator=(const CableNeighboursScope&) = delete;
};

// The registry of the pass under way; null outside one.
const CableNeighbours* ActiveCableNeighbours();

}  // namespace kestrune
