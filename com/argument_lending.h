#pragma once
// Which arguments of a dispatched call are lent to the member by reference, and which come
// back to the caller afterwards. Plain values in and out; dispatch_arguments.h does the
// VARIANT work these decide.
#include <windows.h>
#include <oleauto.h>

namespace kestrune {

// The parameter position (0 = the member's first parameter) that the argument at DISPPARAMS
// index `index` fills, or -1 when it fills none of the member's parameterCount parameters.
// Arguments come last-first; the namedCount named ones lead the array, each with its
// DISPID in namedIds (DISPID_PROPERTYPUT names a put's value, the last parameter).
int ParameterPosition(UINT index, UINT argumentCount, const DISPID* namedIds, UINT namedCount, int parameterCount);

// A parameter as the type library describes it.
struct ParameterShape {
    VARTYPE type = VT_EMPTY;     // VT_PTR for a by-reference parameter
    VARTYPE pointee = VT_EMPTY;  // what a VT_PTR points at; VT_EMPTY when not described
    bool out = false;            // [out] or [in, out]
};

enum class Lending {
    kAsGiven,         // dispatch takes the argument as it came
    kCallerVariable,  // the caller's variable (VT_BYREF | VT_VARIANT), coerced in place
    kTemporary,       // a temporary, converted from the caller's value
};

struct LendingDecision {
    Lending lending = Lending::kAsGiven;
    VARTYPE target = VT_EMPTY;  // the type lent: VT_I4 or VT_BSTR
    // After a successful call the temporary's value goes back into the caller's VARIANT:
    // only for an integer scalar, which owns no memory. A by-value string (or anything
    // else that owns memory) is never replaced or freed.
    bool writeBack = false;
};

// Only a long* or BSTR* parameter is lent to: a caller's variable always, a by-value
// argument when the parameter is [out].
LendingDecision DecideLending(const ParameterShape& parameter, VARTYPE argumentType);

}  // namespace kestrune
