#pragma once
// Script hosts hand a variable to a by-reference parameter as a reference to a VARIANT
// (VT_BYREF | VT_VARIANT). Dispatch through the type library wants a reference of the
// parameter's own type (a long or a string), as a compiled client passes it. This step
// turns such an argument into that form: the variable is coerced in place to the
// parameter's type and passed by reference, so the member's result comes back in it.
#include <windows.h>
#include <oleauto.h>

#include <vector>

namespace kestrune {

// out receives params with every adaptable argument rewritten, its argument array kept in
// storage (shallow copies: nothing is owned). Arguments that cannot be adapted stay as
// they came, for the dispatch to report.
void AdaptReferenceArguments(ITypeInfo* info, DISPID id, WORD flags, const DISPPARAMS& params, DISPPARAMS& out,
                             std::vector<VARIANTARG>& storage);

}  // namespace kestrune
