#pragma once
// The one shape of every exported function that takes a PortRecord: 9 for a null record
// (touching nothing), a fresh channel error for the call, and the boundary: an exception
// (out of memory on a large table, ...) becomes its error number, recorded in the record's
// RtError and AppError with their texts, and the function's result.
#include <cstdint>

#include "port/channel_errors.h"
#include "record/port_record.h"
#include "record/result_codes.h"
#include "support/boundary.h"

namespace kestrune {

void RecordBoundaryError(PortRecord& record, int32_t number) noexcept;

template <typename Body>
int32_t PortExport(PortRecord* record, Body&& body) noexcept {
    if (!record) return kNullArgumentResult;
    return CallAtBoundary(
        [&]() -> int32_t {
            ResetChannelError();
            return body(*record);
        },
        [&](int32_t number) {
            RecordBoundaryError(*record, number);
            return number;
        });
}

}  // namespace kestrune
