#include "support/byte_string.h"

namespace kestrune {

bool ReplaceByteString(BSTR* slot, std::string_view bytes) {
    if (!slot) return false;
    if (*slot) SysFreeString(*slot);
    *slot = SysAllocStringByteLen(bytes.data(), static_cast<UINT>(bytes.size()));
    return *slot != nullptr;
}

std::string ByteStringBytes(BSTR text) {
    if (!text) return std::string();
    return std::string(reinterpret_cast<const char*>(text), SysStringByteLen(text));
}

}  // namespace kestrune
