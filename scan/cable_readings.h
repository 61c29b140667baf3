#pragma once
// The cable experiment's decision, from plain values.
//
// Every port that takes part drives DTR and RTS together through a few rounds; in each round
// a port's two outputs carry one bit of its code, and every input of every port is read once
// the round's settle window has passed. Before the rounds all outputs are low: those readings
// (L0) are what each input shows while no port of the scan drives it. An input's sequence of
// readings then names the output it follows: its own port's (a loopback plug), another port's
// (a null-modem cable), or none (constant: nothing attached, a powered device, a port held by
// another program). From that the verdict is the one the port-by-port test gives on an ideal
// machine (every other port closed, lines low at open, no latency).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrune {

// Rounds of an experiment over `ports` ports: two per bit of the codes 1..ports (the bit,
// then its complement, so a reading one round late never spells a code). 0 for no port.
std::size_t CableRoundCount(std::size_t ports);

// The level (true: high) port `index` drives on both DTR and RTS in round `round`.
bool CableRoundLevel(std::size_t index, std::size_t round);

// The settle window of a round: the longest known bound of the ports read in it.
uint32_t CableSettleWindow(const std::vector<uint32_t>& boundsMilliseconds);

// What one port read: its modem status word before the rounds (all outputs low) and after
// each round, in round order. A port with fewer readings than rounds did not answer them all.
struct CablePortReadings {
    uint32_t l0 = 0;
    std::vector<uint32_t> rounds;
};

enum class CableFinding {
    kDecided,    // the verdict fields hold the ideal port-by-port verdict
    kUnsettled,  // an input read neither a code nor a constant (noise, a late answer): test alone
};

struct CablePortVerdict {
    CableFinding finding = CableFinding::kUnsettled;
    int32_t kind = -1;            // CableKind
    int32_t response = 0;         // CableResponse
    int32_t dtrCommand = 0;       // 5 SETDTR or 6 CLRDTR
    int32_t rtsCommand = 0;       // 3 SETRTS or 4 CLRRTS
    uint32_t statusAfter = 0;     // the modem status the port reads while it alone drives
    int cabledTo = -1;            // index of the port whose DTR and RTS drive this one's DSR and CTS
};

// One verdict per port, in the same order.
std::vector<CablePortVerdict> DecideCableReadings(const std::vector<CablePortReadings>& ports);

// The port-by-port verdict of a port that drove alone: readings before and after its drive.
CablePortVerdict DecideAlone(uint32_t before, uint32_t after);

}  // namespace kestrune
