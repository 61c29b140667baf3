#include "com/dispatch_arguments.h"

#include "com/argument_lending.h"

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

void PointAt(VARIANTARG& argument, VARTYPE type, VARIANT* value) {
    V_VT(&argument) = static_cast<VARTYPE>(type | VT_BYREF);
    if (type == VT_I4)
        V_I4REF(&argument) = &V_I4(value);
    else
        V_BSTRREF(&argument) = &V_BSTR(value);
}

ParameterShape ShapeOf(const ELEMDESC& parameter) {
    const TYPEDESC* pointee = parameter.tdesc.vt == VT_PTR ? parameter.tdesc.lptdesc : nullptr;
    return ParameterShape{parameter.tdesc.vt, pointee ? pointee->vt : static_cast<VARTYPE>(VT_EMPTY),
                          (parameter.paramdesc.wParamFlags & PARAMFLAG_FOUT) != 0};
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
    for (UINT i = 0; i < params->cArgs; ++i) {
        const int position =
            ParameterPosition(i, params->cArgs, params->rgdispidNamedArgs, params->cNamedArgs, member->cParams);
        if (position < 0) continue;
        const LendingDecision decision =
            DecideLending(ShapeOf(member->lprgelemdescParam[position]), V_VT(&params->rgvarg[i]));
        switch (decision.lending) {
        case Lending::kAsGiven: break;
        case Lending::kCallerVariable: LendCallerVariable(arguments_[i], decision.target); break;
        case Lending::kTemporary:
            if (LendTemporary(arguments_[i], decision.target) && decision.writeBack)
                writeBacks_.emplace_back(&params->rgvarg[i], temporaries_.size() - 1);
            break;
        }
    }
    info->ReleaseFuncDesc(member);
    return &adapted_;
}

void ReferenceArguments::LendCallerVariable(VARIANTARG& argument, VARTYPE target) {
    VARIANT* variable = V_VARIANTREF(&argument);
    if (!variable) return;
    if (V_VT(variable) == target || SUCCEEDED(VariantChangeType(variable, variable, 0, target)))
        PointAt(argument, target, variable);
}

bool ReferenceArguments::LendTemporary(VARIANTARG& argument, VARTYPE target) {
    temporaries_.emplace_back();
    VARIANT& temporary = temporaries_.back();
    VariantInit(&temporary);
    if (V_VT(&argument) == VT_UI4 && target == VT_I4) {
        // A handle or address in an unsigned 32-bit value: the same bits.
        V_VT(&temporary) = VT_I4;
        V_I4(&temporary) = static_cast<LONG>(V_UI4(&argument));
    } else if (FAILED(VariantChangeType(&temporary, &argument, 0, target))) {
        temporaries_.pop_back();
        return false;
    }
    PointAt(argument, target, &temporary);
    return true;
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
