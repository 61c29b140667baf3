#include "app/common/identity_view.h"

#include <utility>

#include "support/fixed_text.h"
#include "support/utf8_text.h"

namespace kestrune {

namespace {

constexpr int kDescriptionColumn = kFirstIdentityColumn + 1;
constexpr int kVidPidColumn = kFirstIdentityColumn + 2;
constexpr int kSerialColumn = kFirstIdentityColumn + 3;

HardwareSnapshot& Shown() {
    static HardwareSnapshot shown;
    return shown;
}

// "     Label =      value", the report's label lines, indented under their port; the
// identity's UTF-8 value in the report's ANSI code page.
std::string LabelLine(std::string_view label, std::string_view value) {
    return "     " + std::string(label) + " =      " + Utf8ToAnsi(value);
}

void AddDeviceLines(std::vector<std::string>& lines, const PortIdentity& d) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"Friendly Name", &d.friendlyName}, {"Description", &d.description}, {"Manufacturer", &d.manufacturer},
        {"VID:PID", &d.vidPid},            {"Interface", &d.interfaceNumber}, {"Serial Number", &d.serialNumber},
        {"Instance Id", &d.instanceId},    {"Hardware Id", &d.hardwareId},    {"Location", &d.location},
        {"Driver Service", &d.service},
    };
    lines.push_back(LabelLine("Device", PresenceText(d)));
    for (const auto& field : fields)
        if (!field.second->empty()) lines.push_back(LabelLine(field.first, *field.second));
}

}  // namespace

const char* IdentityColumnHeader(int column) {
    switch (column) {
        case kDescriptionColumn: return "Description";
        case kVidPidColumn: return "VID:PID";
        case kSerialColumn: return "Serial Number";
        default: return "";
    }
}

std::string IdentityCellText(const PortIdentity* identity, int column) {
    if (!identity) return {};
    switch (column) {
        case kDescriptionColumn:
            return Utf8ToAnsi(identity->friendlyName.empty() ? identity->description : identity->friendlyName);
        case kVidPidColumn: return Utf8ToAnsi(identity->vidPid);
        case kSerialColumn: return Utf8ToAnsi(SerialOrInstanceId(*identity));
        default: return {};
    }
}

std::vector<CellWrite> IdentityRowCells(const PortIdentity* identity) {
    std::vector<CellWrite> cells;
    cells.push_back({kFirstIdentityColumn, "", ColumnWidth::kUnchanged});
    for (int column = kDescriptionColumn; column <= kSerialColumn; ++column) {
        std::string text = IdentityCellText(identity, column);
        if (!text.empty()) cells.push_back({column, std::move(text), ColumnWidth::kAutosizeContent});
    }
    return cells;
}

std::vector<HeaderStep> IdentityHeaderSteps(const PortIdentity* identity) {
    std::vector<HeaderStep> steps;
    steps.push_back({kFirstIdentityColumn, std::string(), ColumnWidth::kAutosizeWithHeader});
    for (int column = kDescriptionColumn; column <= kSerialColumn; ++column)
        if (!IdentityCellText(identity, column).empty())
            steps.push_back({column, std::string(IdentityColumnHeader(column)), ColumnWidth::kAutosizeWithHeader});
    return steps;
}

void SetShownHardware(HardwareSnapshot snapshot) { Shown() = std::move(snapshot); }

const HardwareSnapshot& ShownHardware() { return Shown(); }

const PortIdentity* ShownIdentity(const PortRecord& record) {
    return FindIdentity(Shown().devices, Text(record.PortName));
}

std::vector<std::string> HardwareReportLines(const std::vector<PortRecord>& records, const HardwareSnapshot& hardware) {
    std::vector<std::string> lines = {"", "", "Hardware Identity"};
    std::vector<const PortIdentity*> reported;
    for (const PortRecord& record : records) {
        const std::string_view port = Text(record.PortName);
        if (port.empty()) continue;
        const PortIdentity* device = FindIdentity(hardware.devices, port);
        lines.push_back(std::string(port) + " = " + std::string(Text(record.Status)));
        if (!device) {
            lines.push_back(LabelLine("Device", "no device entry"));
            continue;
        }
        reported.push_back(device);
        AddDeviceLines(lines, *device);
    }
    // Devices whose port the scan did not find (a phantom the port list forgot, a second
    // device remembered for the same number).
    for (const PortIdentity& device : hardware.devices) {
        bool seen = false;
        for (const PortIdentity* r : reported) seen = seen || r == &device;
        if (seen) continue;
        lines.push_back(Utf8ToAnsi(device.portName) + " = (no scanned port)");
        AddDeviceLines(lines, device);
    }
    lines.push_back("");
    lines.push_back("COM Number Reservations");
    if (!hardware.comDbRead) lines.push_back("     (the COM number database could not be read)");
    for (const ComReservation& reservation : hardware.reservations) lines.push_back(Utf8ToAnsi(ReservationText(reservation)));
    return lines;
}

}  // namespace kestrune
