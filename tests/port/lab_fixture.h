#pragma once
// Shared by the tests that use the serial lab's ports.
#include <gtest/gtest.h>

#include <string>

#include "lab/client/lab_client.h"
#include "exports/port_functions.h"
#include "support/fixed_text.h"

namespace porttest {

// The lab's layout; the test is skipped (with the reason) when the lab is not up.
class LabTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!layout_.Load(&error)) GTEST_SKIP() << "serial lab not up: " << error;
    }

    // The first port of a kind, or a skip when the layout has none.
    std::string PortOf(lab::Kind kind) {
        const lab::Port* port = layout_.FirstOfKind(kind);
        return port ? port->com : std::string();
    }

    lab::Layout layout_;
};

// A record opened as a channel on a port; closed when it goes.
struct OpenRecord {
    explicit OpenRecord(const std::string& com) {
        kestrune::SetText(record.PortName, com);
        result = SerialPort_Open_Rt(&record);
    }
    ~OpenRecord() { SerialPort_Close_Rt(&record); }
    OpenRecord(const OpenRecord&) = delete;
    OpenRecord& operator=(const OpenRecord&) = delete;

    PortRecord record{};
    int32_t result = -1;
};

}  // namespace porttest
