#include "port/port_export.h"

#include "support/fixed_text.h"

namespace kestrune {

void RecordBoundaryError(PortRecord& record, int32_t number) noexcept {
    const std::string_view text = ChannelErrorText(number);
    record.RtError = number;
    SetText(record.RtErrorDescription, text);
    record.AppError = number;
    SetText(record.AppErrorDescription, text);
}

}  // namespace kestrune
