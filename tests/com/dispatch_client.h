#pragma once
// A late-bound client for the tests: names to DispIDs, calls with VARIANT arguments.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace comtest {

struct Apartment {
    Apartment() { CoInitialize(nullptr); }
    ~Apartment() { CoUninitialize(); }
};

// Owns one reference.
template <typename T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) : p_(p) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { reset(); }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** put() { reset(); return &p_; }
    void** put_void() { return reinterpret_cast<void**>(put()); }

private:
    T* p_ = nullptr;
};

struct Variant {
    VARIANT v;
    Variant() { VariantInit(&v); }
    explicit Variant(long value) { VariantInit(&v); V_VT(&v) = VT_I4; V_I4(&v) = value; }
    explicit Variant(const wchar_t* text) { VariantInit(&v); V_VT(&v) = VT_BSTR; V_BSTR(&v) = SysAllocString(text); }
    static Variant Bytes(const std::string& bytes) {
        Variant r;
        V_VT(&r.v) = VT_BSTR;
        V_BSTR(&r.v) = SysAllocStringByteLen(bytes.data(), static_cast<UINT>(bytes.size()));
        return r;
    }
    static Variant Currency(LONGLONG scaled) {
        Variant r;
        V_VT(&r.v) = VT_CY;
        V_CY(&r.v).int64 = scaled;
        return r;
    }
    Variant(Variant&& o) noexcept { v = o.v; VariantInit(&o.v); }
    Variant(const Variant&) = delete;
    ~Variant() { VariantClear(&v); }
    std::string bytes() const {
        return V_VT(&v) == VT_BSTR && V_BSTR(&v)
                   ? std::string(reinterpret_cast<const char*>(V_BSTR(&v)), SysStringByteLen(V_BSTR(&v)))
                   : std::string();
    }
};

inline HRESULT IdOf(IDispatch* object, const std::wstring& name, DISPID& id) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    return object->GetIDsOfNames(IID_NULL, names, 1, 0x800, &id);
}

// arguments in call order (the first parameter first).
inline HRESULT Call(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> arguments, VARIANT* result) {
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    UINT argumentError = 0;
    return object->Invoke(id, IID_NULL, 0x800, flags, &params, result, nullptr, &argumentError);
}

inline std::string Utf16Bytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

}  // namespace comtest
