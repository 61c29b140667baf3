// The cable experiment's decision from tables of readings: every wiring gives the verdict the
// port-by-port test gives on an ideal machine, and readings that spell no code (a flip, a late
// answer, a missed round) leave the port to a test of its own rather than to a guess.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "scan/cable_readings.h"
#include "scan/modem_lines.h"
#include "scan/settle_bounds.h"

using namespace kestrune;

namespace {

constexpr int kNone = -1;  // an input no port drives

// What drives one port's inputs: DSR+carrier and CTS each follow a port's outputs or are
// held at a level (a powered device holds them high).
struct Wires {
    int dsrFrom = kNone, ctsFrom = kNone;
    bool dsrHeld = false, ctsHeld = false;
};

// The readings an ideal machine gives for these wires: L0 with every output low, then one
// reading per round. late: port whose readings show the previous round's levels.
std::vector<CablePortReadings> Readings(const std::vector<Wires>& wires, int late = kNone) {
    const std::size_t rounds = CableRoundCount(wires.size());
    auto level = [&](int from, bool held, std::size_t round, bool before) {
        if (from == kNone) return held;
        return !before && CableRoundLevel(static_cast<std::size_t>(from), round);
    };
    auto word = [&](const Wires& w, std::size_t round, bool before) {
        uint32_t status = 0;
        if (level(w.dsrFrom, w.dsrHeld, round, before)) status |= kDsrMask | kRlsdMask;
        if (level(w.ctsFrom, w.ctsHeld, round, before)) status |= kCtsMask;
        return status;
    };
    std::vector<CablePortReadings> ports(wires.size());
    for (std::size_t i = 0; i < wires.size(); ++i) {
        ports[i].l0 = word(wires[i], 0, true);
        for (std::size_t r = 0; r < rounds; ++r) {
            const bool showsEarlier = static_cast<int>(i) == late;
            ports[i].rounds.push_back(showsEarlier && r == 0 ? ports[i].l0 : word(wires[i], showsEarlier ? r - 1 : r, false));
        }
    }
    return ports;
}

struct Expected {
    CableFinding finding;
    int32_t kind, response, dtr, rts;
    int cabledTo;
};
constexpr Expected kUnsettledPort{CableFinding::kUnsettled, -1, 0, 0, 0, -1};

struct Row {
    const char* name;
    std::vector<CablePortReadings> readings;
    std::vector<Expected> expected;
};

}  // namespace

TEST(CableReadings, EveryWiringGivesTheIdealVerdict) {
    const Wires nothing{}, loopback{0, 0}, device{kNone, kNone, true, true}, dsrOnlyPlug{0, kNone};
    Wires selfLoop1{1, 1}, dsrOnly1{1, kNone}, toPort1{1, 1}, toPort0{0, 0};
    Wires toPort2{2, 2};
    std::vector<CablePortReadings> flipped = Readings({loopback, nothing, device});
    flipped[1].rounds[2] ^= kCtsMask;  // one input flips once
    std::vector<CablePortReadings> missed = Readings({loopback, nothing});
    missed[0].rounds.pop_back();  // the port stopped answering before the last round
    std::vector<CablePortReadings> highL0 = Readings({loopback, nothing});
    highL0[0].l0 |= kDsrMask;  // a follower read high while every output was low: a late answer

    const Expected loop{CableFinding::kDecided, 1, 1, SETDTR, SETRTS, -1};
    const Expected none{CableFinding::kDecided, -1, 0, SETDTR, SETRTS, -1};
    const Expected held{CableFinding::kDecided, 0, 1, CLRDTR, CLRRTS, -1};
    const Expected dsrOnly{CableFinding::kDecided, -1, -1, SETDTR, SETRTS, -1};
    auto cabled = [](int to) { return Expected{CableFinding::kDecided, -1, 0, SETDTR, SETRTS, to}; };

    const Row rows[] = {
        {"loopback alone", Readings({loopback}), {loop}},
        {"nothing, loopback, device", Readings({nothing, selfLoop1, device}), {none, loop, held}},
        {"dsr-only plug", Readings({dsrOnlyPlug, nothing}), {dsrOnly, none}},
        {"dsr-only second", Readings({device, dsrOnly1}), {held, dsrOnly}},
        {"null-modem pair", Readings({toPort1, toPort0, nothing}), {cabled(1), cabled(0), none}},
        {"pair apart", Readings({toPort2, selfLoop1, toPort0}), {cabled(2), loop, cabled(0)}},
        // Only DSR follows another port: no cable, and the verdict of a constant input.
        {"half a cable", Readings({Wires{1, kNone}, nothing}), {none, none}},
        {"one flip", flipped, {loop, kUnsettledPort, held}},
        {"late answer", Readings({toPort2, selfLoop1, toPort0}, 1), {cabled(2), kUnsettledPort, cabled(0)}},
        {"late loopback of the top code", Readings({nothing, nothing, Wires{2, 2}}, 2), {none, none, kUnsettledPort}},
        {"missed round", missed, {kUnsettledPort, none}},
        {"follower high at L0", highL0, {kUnsettledPort, none}},
        {"no port", {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<CablePortVerdict> verdicts = DecideCableReadings(row.readings);
        ASSERT_EQ(verdicts.size(), row.expected.size());
        for (std::size_t i = 0; i < verdicts.size(); ++i) {
            const Expected& e = row.expected[i];
            EXPECT_EQ(verdicts[i].finding, e.finding) << "port " << i;
            if (e.finding != CableFinding::kDecided) continue;
            EXPECT_EQ(verdicts[i].kind, e.kind) << "port " << i;
            EXPECT_EQ(verdicts[i].response, e.response) << "port " << i;
            EXPECT_EQ(verdicts[i].dtrCommand, e.dtr) << "port " << i;
            EXPECT_EQ(verdicts[i].rtsCommand, e.rts) << "port " << i;
            EXPECT_EQ(verdicts[i].cabledTo, e.cabledTo) << "port " << i;
        }
    }
}

TEST(CableReadings, RoundsGrowWithTheLogarithmOfThePorts) {
    EXPECT_EQ(CableRoundCount(0), 0u);
    EXPECT_EQ(CableRoundCount(1), 2u);
    EXPECT_EQ(CableRoundCount(3), 4u);
    EXPECT_EQ(CableRoundCount(64), 14u);
    EXPECT_EQ(CableSettleWindow({1, 16, 50, 2}), 50u);
    EXPECT_EQ(CableSettleWindow({}), 0u);
}

TEST(CableReadings, SettleBoundByDriver) {
    const struct {
        const char* instance;
        std::optional<uint32_t> latencyTimer;
        uint32_t bound;
    } rows[] = {
        {"ACPI\\PNP0501\\1", std::nullopt, kOnBoardSettleMilliseconds},
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", 8u, 10},
        {"ftdibus\\VID_0403+PID_6001+A50285BIA\\0000", std::nullopt, kFtdiDefaultLatencyMilliseconds + 2},
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", 0u, 3},      // out of range: the nearest timer
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", 1000u, 257},
        {"USB\\VID_067B&PID_2303\\A7C3F21B", std::nullopt, kUnknownSettleMilliseconds},
        {"", std::nullopt, kUnknownSettleMilliseconds},
    };
    for (const auto& row : rows) EXPECT_EQ(SettleBoundOf(row.instance, row.latencyTimer), row.bound) << row.instance;
}
