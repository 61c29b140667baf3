#pragma once
// Arguments for by-reference parameters, put into the form dispatch through the type
// library wants: a reference of the parameter's own type (a long or a string). Which
// argument is lent how is decided in argument_lending.h; this is the VARIANT work.
//  - Script hosts pass a variable as a reference to a VARIANT (VT_BYREF | VT_VARIANT): the
//    variable is coerced in place to the parameter's type and passed by reference, so the
//    member's result comes back in it.
//  - Late-bound callers may pass a plain value to an [in, out] parameter (the class roads pass
//    the status-bar handle as VT_UI4): it is passed through a temporary. Only an integer
//    value comes back into the caller's VARIANT, in the caller's type, after the call. A
//    by-value argument belongs to its caller: a string (or anything else that owns memory)
//    is never replaced or freed; the member's answer stays in the temporary.
#include <windows.h>
#include <oleauto.h>

#include <vector>

namespace kestrune {

class ReferenceArguments {
public:
    ReferenceArguments() = default;
    ReferenceArguments(const ReferenceArguments&) = delete;
    ReferenceArguments& operator=(const ReferenceArguments&) = delete;
    ~ReferenceArguments();

    // The parameters to dispatch with: params itself, or a rewritten copy (shallow: the
    // caller's values stay the caller's). Arguments that cannot be adapted stay as they
    // came, for the dispatch to report.
    DISPPARAMS* Adapt(ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params);
    // After a successful call: the temporaries' integer values back into the caller's VARIANTs.
    void WriteBack();

private:
    // The argument (the copy in arguments_) made a reference to the caller's variable,
    // coerced in place to target; left as it came when that fails.
    void LendCallerVariable(VARIANTARG& argument, VARTYPE target);
    // The argument made a reference to a new temporary holding its value as target; false,
    // with the argument as it came, when the value does not convert.
    bool LendTemporary(VARIANTARG& argument, VARTYPE target);

    DISPPARAMS adapted_{};
    std::vector<VARIANTARG> arguments_;
    std::vector<VARIANT> temporaries_;
    std::vector<std::pair<VARIANT*, size_t>> writeBacks_;  // caller's VARIANT, temporary
};

}  // namespace kestrune
