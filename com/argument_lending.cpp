#include "com/argument_lending.h"

namespace kestrune {

namespace {

// The by-value types whose answer goes back to the caller: integers, which own no memory.
bool IsIntegerValue(VARTYPE type) {
    switch (type) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: return true;
    default: return false;
    }
}

}  // namespace

int ParameterPosition(UINT index, UINT argumentCount, const DISPID* namedIds, UINT namedCount, int parameterCount) {
    int position = static_cast<int>(argumentCount) - 1 - static_cast<int>(index);
    if (namedIds && index < namedCount)
        position = namedIds[index] == DISPID_PROPERTYPUT ? parameterCount - 1 : namedIds[index];
    return position >= 0 && position < parameterCount ? position : -1;
}

LendingDecision DecideLending(const ParameterShape& parameter, VARTYPE argumentType) {
    if (parameter.type != VT_PTR) return {};
    const VARTYPE target = parameter.pointee;
    if (target != VT_I4 && target != VT_BSTR) return {};
    if (argumentType == (VT_BYREF | VT_VARIANT)) return {Lending::kCallerVariable, target, false};
    if (!(argumentType & VT_BYREF) && parameter.out) return {Lending::kTemporary, target, IsIntegerValue(argumentType)};
    return {};
}

}  // namespace kestrune
