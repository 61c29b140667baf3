#include "app/console/scan_json.h"

#include <windows.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "app/common/shown_record.h"
#include "app/console/port_watch.h"
#include "app/console/record_values.h"
#include "scan/cable_neighbours.h"
#include "record/record_fields.h"
#include "support/fixed_text.h"
#include "support/utf8_text.h"

namespace kestrune {
namespace {

using Json = nlohmann::ordered_json;

template <typename T>
T Read(const PortRecord& record, const FieldInfo& field) {
    T value;
    std::memcpy(&value, reinterpret_cast<const char*>(&record) + field.offset, sizeof value);
    return value;
}

Json StopBitsValue(int64_t stored) {
    if (stored % kStopBitsScale == 0) return Json(stored / kStopBitsScale);
    return Json(static_cast<double>(stored) / static_cast<double>(kStopBitsScale));
}

Json FieldValue(const PortRecord& record, const FieldInfo& field) {
    switch (field.kind) {
        case FieldKind::kI32: return Read<int32_t>(record, field);
        case FieldKind::kU32: {
            const uint32_t value = Read<uint32_t>(record, field);
            if (field.offset != offsetof(PortRecord, FlowControlBits)) return value;
            Json flags = Json::object();
            for (uint32_t bit = 0; bit < kFlowBitCount; ++bit)
                flags[std::string(FlowFlagNames()[bit])] = ((value >> bit) & 1u) != 0;
            return flags;
        }
        case FieldKind::kI64: return StopBitsValue(Read<int64_t>(record, field));
        case FieldKind::kText: {
            const char* base = reinterpret_cast<const char*>(&record) + field.offset;
            return AnsiToUtf8(WithoutLineEnd(std::string_view(base, BoundedLength(base, field.size - 1))));
        }
        case FieldKind::kBytes: return RecordFieldText(record, field);
    }
    return nullptr;
}

Json Optional(std::optional<std::string_view> name) {
    return name ? Json(std::string(*name)) : Json(nullptr);
}

Json IdentityObject(const IdentityFields& identity) {
    Json object = Json::object();
    for (const IdentityField& field : identity) {
        if (const auto* text = std::get_if<std::string>(&field.value)) object[field.name] = *text;
        else if (const auto* number = std::get_if<int64_t>(&field.value)) object[field.name] = *number;
        else object[field.name] = std::get<bool>(field.value);
    }
    return object;
}

Json PortObject(const ConsoleRow& row, RowSource source) {
    const PortRecord& r = row.record;
    Json port = Json::object();
    if (source == RowSource::kListing) {
        for (const char* name : {"PortName", "DeviceName", "sObjName", "Name"})
            port[name] = FieldValue(r, *FindRecordField(name));
    } else {
        std::size_t count = 0;
        const FieldInfo* fields = RecordFields(&count);
        // The scan's own handle of a free port names no owner: those fields are null.
        const bool owner = ShowsOwnerProgram(r, GetCurrentProcessId());
        for (std::size_t i = 0; i < count; ++i) {
            if (!owner && IsOwnerField(fields[i].name)) {
                port[fields[i].name] = Json(nullptr);
                continue;
            }
            const auto whole = WholeOwnerField(fields[i].name, row.ownerPath);
            port[fields[i].name] = whole ? Json(*whole) : FieldValue(r, fields[i]);
        }
        port["DtrControl"] = Optional(DtrControlName(r));
        port["RtsControl"] = Optional(RtsControlName(r));
        const std::string cabledTo = CabledTo(r);
        port["CabledTo"] = cabledTo.empty() ? Json(nullptr) : Json(cabledTo);
    }
    port["Present"] = PortPresent(Text(r.DeviceName), Text(r.PortName));
    port["DiscoveryIndex"] = row.discoveryIndex;
    port["Identity"] = IdentityObject(row.identity);
    return port;
}

}  // namespace

std::string RenderJson(const std::vector<ConsoleRow>& rows, RowSource source, int indent,
                       const std::vector<ComReservation>* reservations, const JsonDocumentHeader& header) {
    Json document = JsonDocumentStart(source == RowSource::kScan ? "scan" : "list", header);
    Json ports = Json::array();
    for (const ConsoleRow& row : rows) ports.push_back(PortObject(row, source));
    document["ports"] = std::move(ports);
    if (reservations) {
        Json reserved = Json::array();
        for (const ComReservation& r : *reservations)
            reserved.push_back({{"port", "COM" + std::to_string(r.number)},
                                {"reason", ReservationReasonText(r.reason)},
                                {"device", r.device},
                                {"vidPid", r.vidPid}});
        document["reservations"] = std::move(reserved);
    }
    return document.dump(indent, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string JsonEventLine(const WatchEvent& event) {
    Json line = Json::object();
    line["time"] = event.time;
    line["event"] = WatchEventName(event.kind);
    line["PortName"] = AnsiToUtf8(event.port.portName);
    line["DeviceName"] = AnsiToUtf8(event.port.deviceName);
    line["Present"] = event.kind == WatchEventKind::kArrived;
    line["Identity"] = IdentityObject(event.identity);
    return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace kestrune
