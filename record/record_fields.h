#pragma once
// Every field of PortRecord by name: for dumps, the console table and tests.
#include <cstddef>
#include <string>
#include <string_view>

#include "record/port_record.h"

namespace kestrune {

enum class FieldKind { kI32, kU32, kI64, kText, kBytes };

struct FieldInfo {
    const char* name;
    std::size_t offset;
    std::size_t size;
    FieldKind kind;
};

// All fields in layout order.
const FieldInfo* RecordFields(std::size_t* count);
const FieldInfo* FindRecordField(std::string_view name);

// A field's value as one line of text: numbers in decimal, texts with tab, CR and LF shown
// as \t \r \n (backslashes kept), FlowControlBits as 14 characters 0/1 from bit 0,
// byte blocks in hexadecimal.
std::string RecordFieldText(const PortRecord& record, const FieldInfo& field);

}  // namespace kestrune
