#include "app/console/scan_tsv.h"

#include <windows.h>

#include <cstring>

#include "app/common/shown_record.h"
#include "app/console/record_values.h"
#include "record/record_fields.h"
#include "support/fixed_text.h"
#include "support/number_text.h"
#include "support/utf8_text.h"

namespace kestrune {

const char kTsvEscapingHelp[] =
    "TSV: one header line of field names, then one line per port. Texts are UTF-8; in a cell a\n"
    "backslash is written \\\\, a tab \\t, a line feed \\n, a carriage return \\r and any other\n"
    "control character \\xHH, so no cell holds a tab or a line break. Numbers are decimal,\n"
    "StopBits is 1, 1.5 or 2; an unknown value is an empty cell.";

namespace {

std::string Escape(std::string_view text, bool backslash) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (c == '\\' && !backslash) {
            out += c;
            continue;
        }
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default:
                if (b < 0x20 || b == 0x7F) {
                    out += "\\x";
                    out += kHex[b >> 4];
                    out += kHex[b & 15];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

}  // namespace

std::string TsvEscape(std::string_view text) { return Escape(text, true); }

std::string ControlEscape(std::string_view text) { return Escape(text, false); }

namespace {

const char* const kDiscoveryFields[] = {"PortName", "DeviceName", "sObjName", "Name"};

std::vector<const FieldInfo*> Fields(RowSource source) {
    std::vector<const FieldInfo*> fields;
    if (source == RowSource::kListing) {
        for (const char* name : kDiscoveryFields) fields.push_back(FindRecordField(name));
        return fields;
    }
    std::size_t count = 0;
    const FieldInfo* all = RecordFields(&count);
    for (std::size_t i = 0; i < count; ++i) fields.push_back(&all[i]);
    return fields;
}

std::string FieldCell(const ConsoleRow& row, const FieldInfo& field) {
    const PortRecord& record = row.record;
    if (const auto whole = WholeOwnerField(field.name, row.ownerPath)) return TsvEscape(*whole);
    const char* base = reinterpret_cast<const char*>(&record) + field.offset;
    switch (field.kind) {
        case FieldKind::kI32: {
            int32_t v;
            std::memcpy(&v, base, sizeof v);
            return std::to_string(v);
        }
        case FieldKind::kU32: {
            uint32_t v;
            std::memcpy(&v, base, sizeof v);
            return std::to_string(v);
        }
        case FieldKind::kI64: {
            int64_t v;
            std::memcpy(&v, base, sizeof v);
            return StopBitsText(v);
        }
        case FieldKind::kText:
            return TsvEscape(AnsiToUtf8(WithoutLineEnd(std::string_view(base, BoundedLength(base, field.size - 1)))));
        case FieldKind::kBytes: return RecordFieldText(record, field);
    }
    return std::string();
}

}  // namespace

std::vector<std::string> TsvColumns(RowSource source) {
    std::vector<std::string> columns;
    for (const FieldInfo* field : Fields(source)) columns.push_back(field->name);
    if (source == RowSource::kScan) {
        columns.push_back("DtrControl");
        columns.push_back("RtsControl");
    }
    columns.push_back("Present");
    columns.push_back("DiscoveryIndex");
    for (const std::string& name : IdentityFieldNames()) columns.push_back(name);
    return columns;
}

std::vector<std::string> TsvCells(const ConsoleRow& row, RowSource source) {
    std::vector<std::string> cells;
    // The scan's own handle of a free port names no owner: those cells stay empty.
    const bool owner = ShowsOwnerProgram(row.record, GetCurrentProcessId());
    for (const FieldInfo* field : Fields(source))
        cells.push_back(owner || !IsOwnerField(field->name) ? FieldCell(row, *field) : std::string());
    if (source == RowSource::kScan) {
        cells.push_back(std::string(DtrControlName(row.record).value_or("")));
        cells.push_back(std::string(RtsControlName(row.record).value_or("")));
    }
    cells.push_back(PortPresent(Text(row.record.DeviceName), Text(row.record.PortName)) ? "1" : "0");
    cells.push_back(std::to_string(row.discoveryIndex));
    for (const std::string& name : IdentityFieldNames())
        cells.push_back(TsvEscape(IdentityText(row.identity, name)));
    return cells;
}

std::string RenderTsv(const std::vector<ConsoleRow>& rows, RowSource source) {
    auto join = [](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) line += (i ? "\t" : "") + cells[i];
        return line + "\n";
    };
    std::string out = join(TsvColumns(source));
    for (const ConsoleRow& row : rows) out += join(TsvCells(row, source));
    return out;
}

}  // namespace kestrune
