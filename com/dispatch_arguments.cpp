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

// The by-value types whose answer goes back to the caller: integers, which own no memory.
bool IsIntegerValue(VARTYPE type) {
    switch (type) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: return true;
    default: return false;
    }
}

void PointAt(VARIANTARG& argument, VARTYPE type, VARIANT* value) {
    V_VT(&argument) = static_cast<VARTYPE>(type | VT_BYREF);
    if (type == VT_I4)
        V_I4REF(&argument) = &V_I4(value);
    else
        V_BSTRREF(&argument) = &V_BSTR(value);
}

}  // namespace

ReferenceArguments::~ReferenceArguments() {
    for (VARIANT& temporary : temporaries_) VariantClear(&temporary);
}

DISPPARAMS* ReferenceArguments::Adapt(ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params) {
    if (!info || !params || params->cArgs == 0 || !params->rgvarg) return params;
    FUNCDESC* member = FindMember(info, id, flags);
    if (!member) return params;

    adapted_ = *params;
    arguments_.assign(params->rgvarg, params->rgvarg + params->cArgs);
    temporaries_.reserve(params->cArgs);  // stable addresses for the references below
    adapted_.rgvarg = arguments_.data();
    const UINT named = params->rgdispidNamedArgs ? params->cNamedArgs : 0;
    for (UINT i = 0; i < params->cArgs; ++i) {
        // Arguments come last-first; named ones lead the array.
        int position = static_cast<int>(params->cArgs) - 1 - static_cast<int>(i);
        if (i < named)
            position = params->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT ? member->cParams - 1
                                                                           : params->rgdispidNamedArgs[i];
        if (position < 0 || position >= member->cParams) continue;
        const ELEMDESC& parameter = member->lprgelemdescParam[position];
        if (parameter.tdesc.vt != VT_PTR || !parameter.tdesc.lptdesc) continue;
        const VARTYPE target = parameter.tdesc.lptdesc->vt;
        if (target != VT_I4 && target != VT_BSTR) continue;

        VARIANTARG& argument = arguments_[i];
        if (V_VT(&argument) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&argument)) {
            VARIANT* variable = V_VARIANTREF(&argument);
            if (V_VT(variable) == target || SUCCEEDED(VariantChangeType(variable, variable, 0, target)))
                PointAt(argument, target, variable);
        } else if (!(V_VT(&argument) & VT_BYREF) && (parameter.paramdesc.wParamFlags & PARAMFLAG_FOUT)) {
            temporaries_.emplace_back();
            VARIANT& temporary = temporaries_.back();
            VariantInit(&temporary);
            if (V_VT(&argument) == VT_UI4 && target == VT_I4) {
                // A handle or address in an unsigned 32-bit value: the same bits.
                V_VT(&temporary) = VT_I4;
                V_I4(&temporary) = static_cast<LONG>(V_UI4(&argument));
            } else if (FAILED(VariantChangeType(&temporary, &argument, 0, target))) {
                temporaries_.pop_back();
                continue;
            }
            PointAt(argument, target, &temporary);
            if (IsIntegerValue(V_VT(&params->rgvarg[i])))
                writeBacks_.emplace_back(&params->rgvarg[i], temporaries_.size() - 1);
        }
    }
    info->ReleaseFuncDesc(member);
    return &adapted_;
}

void ReferenceArguments::WriteBack() {
    for (const auto& [callerValue, index] : writeBacks_) {
        VARIANT& temporary = temporaries_[index];
        if (V_VT(callerValue) == VT_UI4 && V_VT(&temporary) == VT_I4) {
            V_UI4(callerValue) = static_cast<ULONG>(V_I4(&temporary));
            continue;
        }
        // The caller's value owns nothing, so it is overwritten, never cleared.
        VARIANT converted;
        VariantInit(&converted);
        if (SUCCEEDED(VariantChangeType(&converted, &temporary, 0, V_VT(callerValue)))) *callerValue = converted;
    }
    writeBacks_.clear();
}

}  // namespace kestrune
