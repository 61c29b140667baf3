#include "scan/line_drive.h"

#include "scan/modem_lines.h"

namespace kestrune {

bool InputsAnswered(uint32_t modemStatus, int32_t dsrBefore, int32_t ctsBefore) {
    const bool dsrMoved = static_cast<int32_t>(modemStatus & kDsrMask) != dsrBefore;
    const bool ctsMoved = static_cast<int32_t>(modemStatus & kCtsMask) != ctsBefore;
    return dsrMoved && ctsMoved;
}

}  // namespace kestrune
