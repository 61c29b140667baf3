#include "scan/cable_readings.h"

#include <algorithm>

#include "scan/cable_test.h"
#include "scan/modem_lines.h"

namespace kestrune {

namespace {

constexpr std::size_t kBitsLimit = 31;

std::size_t CodeBits(std::size_t ports) {
    std::size_t bits = 0;
    while (bits < kBitsLimit && (std::size_t{1} << bits) <= ports) ++bits;
    return bits;
}

// Which output an input follows: none (constant), a port's index, or unsettled.
constexpr int kFollowsNone = -1;
constexpr int kUnsettled = -2;

int FollowerOf(const CablePortReadings& port, uint32_t mask, std::size_t ports, std::size_t rounds) {
    const bool l0 = (port.l0 & mask) != 0;
    bool constant = true;
    for (std::size_t r = 0; r < rounds; ++r) constant = constant && ((port.rounds[r] & mask) != 0) == l0;
    if (constant) return kFollowsNone;
    // Every output was low while L0 was read: an input that follows one read low then.
    if (l0) return kUnsettled;
    // The readings spell a code: its bits, then each bit's complement.
    std::size_t code = 0;
    for (std::size_t r = 0; r < rounds; r += 2) {
        const bool bit = (port.rounds[r] & mask) != 0;
        const bool complement = (port.rounds[r + 1] & mask) != 0;
        if (bit == complement) return kUnsettled;
        if (bit) code |= std::size_t{1} << (r / 2);
    }
    if (code == 0 || code > ports) return kUnsettled;
    return static_cast<int>(code - 1);
}

int32_t DtrCommandAgainst(uint32_t status) { return (status & kDsrMask) ? CLRDTR : SETDTR; }
int32_t RtsCommandAgainst(uint32_t status) { return (status & kCtsMask) ? CLRRTS : SETRTS; }

}  // namespace

std::size_t CableRoundCount(std::size_t ports) { return 2 * CodeBits(ports); }

bool CableRoundLevel(std::size_t index, std::size_t round) {
    const std::size_t bit = round / 2;
    const bool level = bit < kBitsLimit && (((index + 1) >> bit) & 1) != 0;
    return (round % 2 == 0) ? level : !level;
}

uint32_t CableSettleWindow(const std::vector<uint32_t>& boundsMilliseconds) {
    uint32_t window = 0;
    for (const uint32_t bound : boundsMilliseconds) window = std::max(window, bound);
    return window;
}

CablePortVerdict DecideAlone(uint32_t before, uint32_t after) {
    CablePortVerdict verdict;
    verdict.finding = CableFinding::kDecided;
    const CableVerdict decided =
        DecideCable(static_cast<int32_t>(before & kDsrMask), static_cast<int32_t>(before & kCtsMask),
                    static_cast<int32_t>(after & kDsrMask), static_cast<int32_t>(after & kCtsMask));
    verdict.kind = decided.kind;
    verdict.response = decided.response;
    verdict.dtrCommand = DtrCommandAgainst(before);
    verdict.rtsCommand = RtsCommandAgainst(before);
    verdict.statusAfter = after;
    return verdict;
}

std::vector<CablePortVerdict> DecideCableReadings(const std::vector<CablePortReadings>& ports) {
    const std::size_t rounds = CableRoundCount(ports.size());
    std::vector<CablePortVerdict> verdicts(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const CablePortReadings& port = ports[i];
        if (port.rounds.size() < rounds) continue;  // unsettled: it missed a round
        // DSR, carrier and ring answer DTR; CTS answers RTS (the usual plug and cable).
        const struct {
            uint32_t mask;
            uint32_t output;  // the port's own output the input answers, as kDsrMask or kCtsMask
        } inputs[] = {{kDsrMask, kDsrMask}, {kCtsMask, kCtsMask}, {kRlsdMask, kDsrMask}, {kRingMask, kDsrMask}};
        int follows[4];
        bool settled = true;
        // The ideal reading while this port alone drives against L0: an input that follows
        // its own port shows the level driven; any other keeps its L0 (every other port closed).
        uint32_t after = port.l0 & ~(kDsrMask | kCtsMask | kRlsdMask | kRingMask);
        for (int line = 0; line < 4; ++line) {
            follows[line] = FollowerOf(port, inputs[line].mask, ports.size(), rounds);
            if (follows[line] == kUnsettled) settled = false;
            const bool drivenHigh = (port.l0 & inputs[line].output) == 0;
            const bool level = follows[line] == static_cast<int>(i) ? drivenHigh : (port.l0 & inputs[line].mask) != 0;
            if (level) after |= inputs[line].mask;
        }
        if (!settled) continue;
        verdicts[i] = DecideAlone(port.l0, after);
        if (follows[0] >= 0 && follows[0] == follows[1] && follows[0] != static_cast<int>(i))
            verdicts[i].cabledTo = follows[0];
    }
    return verdicts;
}

}  // namespace kestrune
