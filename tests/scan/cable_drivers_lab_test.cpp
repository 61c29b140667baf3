// Cable verdicts over the lab's driver personalities: every driver gives the on-board UART's
// verdict for every wiring, a driver that refuses line control gives "Not Supported", and
// the port's DTR and RTS are back as they were when the test ends. Skipped when the lab is
// not up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/common/shown_record.h"
#include "port/channel.h"
#include "exports/port_functions.h"
#include "scan/cable_experiment.h"
#include "scan/cable_test.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
#include "scan_test_support.h"

using namespace kestrune;

namespace {

struct WiringRow {
    lab::Wiring wiring;
    const char* name;
    int32_t kind, response;  // the UART's verdict with DTR on and RTS off before the test
};

// The null-modem row's peer is closed: its lines are off, as a far end with nothing to say.
const WiringRow kWirings[] = {
    {lab::Wiring::None, "none", -1, 0},
    {lab::Wiring::Loopback, "loopback", 1, 1},
    {lab::Wiring::Device, "device", 0, 1},
    {lab::Wiring::DsrOnly, "dsr-only", -1, -1},
    {lab::Wiring::NullModem, "null-modem", -1, 0},
};

const lab::Driver kDrivers[] = {lab::Driver::Uart, lab::Driver::Ftdi, lab::Driver::UsbSer, lab::Driver::NoLines};

}  // namespace

TEST(CableDrivers, EveryDriverGivesTheUartVerdict) {
    const lab::Layout layout = scan_test::LabLayout();
    if (layout.ports().empty()) GTEST_SKIP() << "serial lab is not up";
    const lab::Port* port = layout.FirstOfKind(lab::Kind::Free);
    const lab::Port* peer = layout.FirstOfKind(lab::Kind::Device);
    ASSERT_TRUE(port && peer);
    lab::ScopedWiring restore(layout);

    for (const lab::Driver driver : kDrivers) {
        for (const WiringRow& row : kWirings) {
            SCOPED_TRACE(std::string(lab::DriverName(driver)) + " x " + row.name);
            ASSERT_TRUE(lab::SetWiring(layout, port->com, row.wiring, peer->com));
            ASSERT_TRUE(lab::SetDriver(layout, port->com, lab::Driver::Uart));

            PortRecord record{};
            SetText(record.PortName, port->com);
            SetText(record.DeviceName, port->device_map_name);
            record.RtHandle = NextChannelNumber();
            ProbePortStatus(record);
            ASSERT_EQ(Text(record.Status), kStatusAvailable);
            const HANDLE handle = ChannelNativeHandle(record.RtHandle);
            // The lines the port has when the scan opens it: DTR on, RTS off.
            ASSERT_TRUE(EscapeCommFunction(handle, SETDTR));
            ASSERT_TRUE(EscapeCommFunction(handle, CLRRTS));
            Sleep(40);  // older line changes have reached every reader
            ASSERT_TRUE(lab::SetDriver(layout, port->com, driver));

            RunCableTest(record);

            if (driver == lab::Driver::NoLines) {
                EXPECT_TRUE(CableNotSupported(record)) << record.CableKind << " " << record.WinError;
                EXPECT_EQ(record.WinError, static_cast<uint32_t>(ERROR_GEN_FAILURE));
                EXPECT_NE(Text(record.WinErrorDescription), "");
                EXPECT_EQ(ShownCableText(record).value_or(""), "Not Supported");
            } else {
                EXPECT_EQ(record.CableKind, row.kind);
                EXPECT_EQ(record.CableResponse, row.response);
                EXPECT_FALSE(CableNotSupported(record));
            }
            lab_port slot{};
            ASSERT_TRUE(lab::ReadPortState(layout, port->com, slot));
            EXPECT_EQ(slot.req_lines, static_cast<uint32_t>(LAB_LINE_DTR)) << "lines not set back";
            SerialPort_Close_Rt(&record);
        }
    }
}
