#include "com/dispatch_arguments.h"

namespace kestrune {

namespace {

// The member's description for the call's kind, or null (release with ReleaseFuncDesc).
FUNCDESC* FindMember(ITypeInfo* info, DISPID id, WORD flags) {
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) return nullptr;
    const WORD count = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    for (UINT index = 0; index < count; ++index) {
        FUNCDESC* member = nullptr;
        if (FAILED(info->GetFuncDesc(index, &member))) continue;
        const bool kindMatches = (member->invkind == INVOKE_FUNC && (flags & DISPATCH_METHOD)) ||
                                 (member->invkind == INVOKE_PROPERTYGET && (flags & DISPATCH_PROPERTYGET)) ||
                                 (member->invkind == INVOKE_PROPERTYPUT && (flags & DISPATCH_PROPERTYPUT));
        if (member->memid == id && kindMatches) return member;
        info->ReleaseFuncDesc(member);
    }
    return nullptr;
}

}  // namespace

void AdaptReferenceArguments(ITypeInfo* info, DISPID id, WORD flags, const DISPPARAMS& params, DISPPARAMS& out,
                             std::vector<VARIANTARG>& storage) {
    out = params;
    if (!info || params.cArgs == 0 || !params.rgvarg) return;
    bool any = false;
    for (UINT i = 0; i < params.cArgs; ++i) any |= V_VT(&params.rgvarg[i]) == (VT_BYREF | VT_VARIANT);
    if (!any) return;
    FUNCDESC* member = FindMember(info, id, flags);
    if (!member) return;

    storage.assign(params.rgvarg, params.rgvarg + params.cArgs);
    out.rgvarg = storage.data();
    const UINT named = params.rgdispidNamedArgs ? params.cNamedArgs : 0;
    for (UINT i = 0; i < params.cArgs; ++i) {
        VARIANTARG& argument = storage[i];
        if (V_VT(&argument) != (VT_BYREF | VT_VARIANT) || !V_VARIANTREF(&argument)) continue;
        // Arguments come last-first; named ones lead the array.
        int position = static_cast<int>(params.cArgs - named) - 1 - static_cast<int>(i - named);
        if (i < named)
            position = params.rgdispidNamedArgs[i] == DISPID_PROPERTYPUT ? member->cParams - 1
                                                                          : params.rgdispidNamedArgs[i];
        if (position < 0 || position >= member->cParams) continue;
        const TYPEDESC& type = member->lprgelemdescParam[position].tdesc;
        if (type.vt != VT_PTR || !type.lptdesc) continue;
        const VARTYPE target = type.lptdesc->vt;
        if (target != VT_I4 && target != VT_BSTR) continue;
        VARIANT* variable = V_VARIANTREF(&argument);
        if (V_VT(variable) != target && FAILED(VariantChangeType(variable, variable, 0, target))) continue;
        V_VT(&argument) = static_cast<VARTYPE>(target | VT_BYREF);
        if (target == VT_I4)
            V_I4REF(&argument) = &V_I4(variable);
        else
            V_BSTRREF(&argument) = &V_BSTR(variable);
    }
    info->ReleaseFuncDesc(member);
}

}  // namespace kestrune
