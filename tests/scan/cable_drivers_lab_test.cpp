// The cable experiment against the lab: for every wiring x driver x lines at open x order of
// the ports, each port gets the verdict the port-by-port test gives on an ideal machine,
// "cabled to" names exactly the null-modem pairs of two free ports, a driver that refuses line
// control reads "Not Supported", and every port's lines are back as they were at open when the
// experiment ends. Skipped when the lab is not up.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/common/shown_record.h"
#include "port/channel.h"
#include "exports/port_functions.h"
#include "scan/cable_experiment.h"
#include "scan/cable_neighbours.h"
#include "scan/cable_test.h"
#include "scan/settle_bounds.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
#include "scan_test_support.h"

using namespace kestrune;

namespace {

// What the far end of one port is: a wiring, and for a cable the other end.
struct End {
    const char* com;
    lab::Wiring wiring;
    const char* peer;  // null-modem: the other end ("COM3" is held by the lab's holder: DTR on, RTS off)
};

// Two wirings of the test layout's free ports; the ports are tested in this order, so the
// first has its pair's ends adjacent and the second apart.
const std::vector<End> kAdjacent = {{"COM2", lab::Wiring::None, ""},          {"COM6", lab::Wiring::Loopback, ""},
                                    {"COM7", lab::Wiring::NullModem, "COM8"}, {"COM8", lab::Wiring::NullModem, "COM7"},
                                    {"COM9", lab::Wiring::Device, ""},        {"COM10", lab::Wiring::DsrOnly, ""}};
const std::vector<End> kApart = {{"COM2", lab::Wiring::NullModem, "COM10"}, {"COM6", lab::Wiring::NullModem, "COM3"},
                                 {"COM7", lab::Wiring::Loopback, ""},       {"COM8", lab::Wiring::Device, ""},
                                 {"COM9", lab::Wiring::None, ""},           {"COM10", lab::Wiring::NullModem, "COM2"}};

struct Personality {
    lab::Driver driver;
    int latency;
};
struct DriverRow {
    const char* name;
    Personality all;
    std::map<std::string, Personality> some;  // ports that differ
};

struct Expected {
    int32_t kind, response, dtr, rts;
    std::string cabledTo;
};

Expected Ideal(const End& end, const std::map<std::string, bool>& refuses) {
    switch (end.wiring) {
        case lab::Wiring::Loopback: return {1, 1, SETDTR, SETRTS, ""};
        case lab::Wiring::Device: return {0, 1, CLRDTR, CLRRTS, ""};
        case lab::Wiring::DsrOnly: return {-1, -1, SETDTR, SETRTS, ""};
        case lab::Wiring::NullModem:
            if (std::string(end.peer) == "COM3") return {0, 1, CLRDTR, SETRTS, ""};  // the holder's DTR on, RTS off
            if (refuses.count(end.peer)) return {-1, 0, SETDTR, SETRTS, ""};         // lines low at open, never driven
            return {-1, 0, SETDTR, SETRTS, end.peer};
        default: return {-1, 0, SETDTR, SETRTS, ""};
    }
}

uint32_t SettleBound(const Personality& p) {
    switch (p.driver) {
        case lab::Driver::Uart: return kOnBoardSettleMilliseconds;
        case lab::Driver::Ftdi: return SettleBoundOf("FTDIBUS\\VID_0403+PID_6001+X\\0000", p.latency);
        default: return kUnknownSettleMilliseconds;
    }
}

}  // namespace

TEST(CableExperimentLab, EveryWiringDriverLinesAtOpenAndOrder) {
    const lab::Layout layout = scan_test::LabLayout();
    if (layout.ports().empty()) GTEST_SKIP() << "serial lab is not up";
    lab::ScopedWiring restore(layout);
    const Personality uart{lab::Driver::Uart, 0};
    const std::vector<DriverRow> drivers = {
        {"uart", uart, {}},
        {"ftdi 16", {lab::Driver::Ftdi, 16}, {}},
        {"ftdi 40", {lab::Driver::Ftdi, 40}, {}},
        {"usbser", {lab::Driver::UsbSer, 2}, {}},
        {"mixed, COM6 refuses", uart, {{"COM6", {lab::Driver::NoLines, 0}}, {"COM7", {lab::Driver::Ftdi, 40}}}},
    };
    struct Row {
        const DriverRow* driver;
        bool linesHigh;
        const std::vector<End>* ends;
    };
    std::vector<Row> rows;
    for (const DriverRow& d : drivers)
        for (const bool high : {true, false})
            for (const std::vector<End>* ends : {&kAdjacent, &kApart}) rows.push_back({&d, high, ends});
#if defined(__i386__)
    // The emulated 32-bit world is slow: a slice that still crosses every dimension.
    rows = {{&drivers[0], true, &kApart}, {&drivers[2], true, &kAdjacent}, {&drivers[4], false, &kApart}};
#endif

    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.driver->name) + (row.linesHigh ? ", lines high at open, " : ", lines low at open, ") +
                     (row.ends == &kAdjacent ? "pair adjacent" : "pairs apart"));
        std::map<std::string, bool> refuses;
        std::vector<uint32_t> bounds;
        for (const End& end : *row.ends) {
            ASSERT_TRUE(lab::SetWiring(layout, end.com, end.wiring, end.peer));
            const auto other = row.driver->some.find(end.com);
            const Personality p = other == row.driver->some.end() ? row.driver->all : other->second;
            ASSERT_TRUE(lab::SetDriver(layout, end.com, p.driver, p.latency));
            ASSERT_TRUE(lab::SetOpenLines(layout, end.com, row.linesHigh));
            if (p.driver == lab::Driver::NoLines) refuses[end.com] = true;
            bounds.push_back(SettleBound(p));
        }
        std::vector<PortRecord> records(row.ends->size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            const lab::Port* port = layout.Find((*row.ends)[i].com);
            ASSERT_NE(port, nullptr);
            records[i] = scan_test::ProbedRecord(*port);
            ASSERT_EQ(Text(records[i].Status), kStatusAvailable) << port->com;
        }
        CableExperimentOptions options;
        options.settleBounds = bounds;
        const CableExperimentReport report = RunCableExperiment(records, {}, options);
        EXPECT_EQ(report.drivenPorts, records.size());

        for (std::size_t i = 0; i < records.size(); ++i) {
            const End& end = (*row.ends)[i];
            const PortRecord& r = records[i];
            SCOPED_TRACE(end.com);
            if (refuses.count(end.com)) {
                EXPECT_TRUE(CableNotSupported(r)) << r.CableKind << " " << r.WinError;
                EXPECT_EQ(r.WinError, static_cast<uint32_t>(ERROR_GEN_FAILURE));
                EXPECT_EQ(ShownCableText(r).value_or(""), "Not Supported");
            } else {
                const Expected e = Ideal(end, refuses);
                EXPECT_EQ(r.CableKind, e.kind);
                EXPECT_EQ(r.CableResponse, e.response);
                EXPECT_EQ(r.DtrCommand, e.dtr);
                EXPECT_EQ(r.RtsCommand, e.rts);
                EXPECT_EQ(CabledTo(r), e.cabledTo);
            }
            lab_port slot{};
            ASSERT_TRUE(lab::ReadPortState(layout, end.com, slot));
            EXPECT_EQ(slot.req_lines, row.linesHigh ? static_cast<uint32_t>(LAB_LINE_DTR | LAB_LINE_RTS) : 0u)
                << "lines not as they were at open";
        }
        for (PortRecord& r : records) SerialPort_Close_Rt(&r);
    }
}

// An adapter unplugged after the scan opened it and before its cable test: the port reads
// "Disconnected" with the device's error, never a working port, and the others go on.
TEST(CableExperimentLab, AnAdapterPulledBeforeTheTestIsDisconnected) {
    const lab::Layout layout = scan_test::LabLayout();
    if (layout.ports().empty()) GTEST_SKIP() << "serial lab is not up";
    const std::vector<std::string> names = {"COM6", "COM9"};
    std::vector<PortRecord> records(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const lab::Port* port = layout.Find(names[i]);
        ASSERT_NE(port, nullptr);
        records[i] = scan_test::ProbedRecord(*port);
        ASSERT_EQ(Text(records[i].Status), kStatusAvailable);
    }
    ASSERT_TRUE(lab::RemovePort(layout, "COM9"));
    RunCableExperiment(records, {});
    for (PortRecord& r : records) SerialPort_Close_Rt(&r);
    const bool replugged = lab::ReplugPort(layout, "COM9");

    EXPECT_EQ(Text(records[1].Status), kStatusDisconnected);
    EXPECT_NE(records[1].WinError, 0u);
    EXPECT_FALSE(CableNotSupported(records[1]));
    EXPECT_EQ(records[0].CableKind, 1) << "the loopback plug beside it";
    EXPECT_TRUE(replugged);
}
