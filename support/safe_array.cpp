#include "support/safe_array.h"

#include <cstring>

namespace kestrune {
namespace {

void DestroySlot(SAFEARRAY** slot) {
    if (*slot) SafeArrayDestroy(*slot);
    *slot = nullptr;
}

}  // namespace

bool ReplaceSafeArray(SAFEARRAY** slot, const void* data, uint32_t elementSize, uint32_t count) {
    if (!slot) return false;
    DestroySlot(slot);
    SAFEARRAY* array = nullptr;
    if (FAILED(SafeArrayAllocDescriptor(1, &array))) return false;
    array->cbElements = elementSize;
    array->rgsabound[0].lLbound = 0;
    array->rgsabound[0].cElements = count;
    if (FAILED(SafeArrayAllocData(array))) {
        SafeArrayDestroyDescriptor(array);
        return false;
    }
    if (count && data) std::memcpy(array->pvData, data, static_cast<size_t>(elementSize) * count);
    *slot = array;
    return true;
}

bool ReplaceByteStringArray(SAFEARRAY** slot, const std::vector<std::string>& items) {
    if (!slot) return false;
    DestroySlot(slot);
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(items.size()));
    if (!array) return false;
    BSTR* elements = nullptr;
    if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&elements)))) {
        SafeArrayDestroy(array);
        return false;
    }
    for (size_t i = 0; i < items.size(); ++i)
        elements[i] = SysAllocStringByteLen(items[i].data(), static_cast<UINT>(items[i].size()));
    SafeArrayUnaccessData(array);
    *slot = array;
    return true;
}

bool ReplaceLongArray(SAFEARRAY** slot, const std::vector<uint32_t>& items) {
    if (!slot) return false;
    DestroySlot(slot);
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(items.size()));
    if (!array) return false;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
        SafeArrayDestroy(array);
        return false;
    }
    if (!items.empty()) std::memcpy(data, items.data(), items.size() * sizeof(uint32_t));
    SafeArrayUnaccessData(array);
    *slot = array;
    return true;
}

}  // namespace kestrune
