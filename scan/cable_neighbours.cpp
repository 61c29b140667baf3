#include "scan/cable_neighbours.h"

#include <atomic>

#include "scan/modem_lines.h"
#include "support/fixed_text.h"

namespace kestrune {

namespace {
std::atomic<const CableNeighbours*> g_active{nullptr};
}  // namespace

std::string CabledTo(const PortRecord& record) {
    const std::string_view text = Text(record.AttachedDevice);
    const std::string_view prefix = kCabledToPrefix;
    if (text.substr(0, prefix.size()) != prefix) return {};
    return std::string(text.substr(prefix.size()));
}

bool NeighbourAnswered(uint32_t before, uint32_t after, bool dtrRaised, bool rtsRaised) {
    const bool dsrNow = (after & kDsrMask) != 0, dsrWas = (before & kDsrMask) != 0;
    const bool ctsNow = (after & kCtsMask) != 0, ctsWas = (before & kCtsMask) != 0;
    return dsrWas != dsrNow && dsrNow == dtrRaised && ctsWas != ctsNow && ctsNow == rtsRaised;
}

void CableNeighbours::Add(std::string_view portName, HANDLE port) {
    HANDLE copy = nullptr;
    if (!port || !DuplicateHandle(GetCurrentProcess(), port, GetCurrentProcess(), &copy, 0, FALSE,
                                  DUPLICATE_SAME_ACCESS))
        return;
    ports_.push_back({std::string(portName), UniqueHandle(copy)});
}

CableNeighbours::Reading CableNeighbours::Read(std::string_view self) const {
    Reading reading;
    reading.status.resize(ports_.size(), 0);
    for (size_t i = 0; i < ports_.size(); ++i) {
        if (ports_[i].name == self) continue;
        DWORD status = 0;
        if (GetCommModemStatus(ports_[i].handle.get(), &status)) reading.status[i] = status;
    }
    return reading;
}

std::string CableNeighbours::Answering(std::string_view self, const Reading& before, const Reading& after,
                                       bool dtrRaised, bool rtsRaised) const {
    for (size_t i = 0; i < ports_.size() && i < before.status.size() && i < after.status.size(); ++i) {
        if (ports_[i].name == self) continue;
        if (NeighbourAnswered(before.status[i], after.status[i], dtrRaised, rtsRaised)) return ports_[i].name;
    }
    return {};
}

CableNeighboursScope::CableNeighboursScope(CableNeighbours& neighbours) { g_active.store(&neighbours); }
CableNeighboursScope::~CableNeighboursScope() { g_active.store(nullptr); }

const CableNeighbours* ActiveCableNeighbours() { return g_active.load(); }

}  // namespace kestrune
