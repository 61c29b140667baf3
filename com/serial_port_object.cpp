#include "com/serial_port_object.h"

#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "com/dispatch_arguments.h"
#include "com/result_block.h"
#include "com/server_counts.h"
#include "com/string_detection.h"
#include "exports/port_functions.h"
#include "exports/scan_exports.h"
#include "scan/scan_driver.h"
#include "support/boundary.h"
#include "support/fixed_text.h"
#include "support/own_module.h"

namespace kestrune {

std::optional<int64_t> StopBitsFromRecord(int64_t stored) {
    switch (stored) {
        case 0 * kStopBitsScale: return 1 * kStopBitsScale;
        case 1 * kStopBitsScale: return kStopBitsScale + kStopBitsScale / 2;
        case 2 * kStopBitsScale: return 2 * kStopBitsScale;
        default: return std::nullopt;
    }
}

int64_t StopBitsToRecord(int64_t given) {
    switch (given) {
        case 1 * kStopBitsScale: return 0;
        case kStopBitsScale + kStopBitsScale / 2: return 1 * kStopBitsScale;
        case 2 * kStopBitsScale: return 2 * kStopBitsScale;
        default: return given;
    }
}

namespace {

// Every member ends here: an exception never crosses the interface.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
    return HResultAtBoundary(body);
}

std::string_view BytesOf(BSTR text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text), SysStringByteLen(text)) : std::string_view();
}

// The type information the object dispatches through, loaded from the module's own file
// (or the same path with ".TLB" when the file has no type library).
HRESULT LoadInterfaceTypeInfo(ITypeInfo** dispatchInfo, ITypeInfo** vtableInfo) {
    std::wstring path = OwnModulePath();
    ITypeLib* library = nullptr;
    HRESULT result = path.empty() ? E_FAIL : LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(result) && path.size() > 4 && path[path.size() - 4] == L'.') {
        path.replace(path.size() - 3, 3, L"TLB");
        result = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    }
    if (FAILED(result)) return result;
    result = library->GetTypeInfoOfGuid(IID_INTERFACECLASSSERIALPORT, dispatchInfo);
    library->Release();
    if (FAILED(result)) return result;
    // A dual interface answers with its dispatch description; calls go through the
    // function-table description behind it.
    HREFTYPE vtableRef = 0;
    if (SUCCEEDED((*dispatchInfo)->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef)) &&
        SUCCEEDED((*dispatchInfo)->GetRefTypeInfo(vtableRef, vtableInfo)))
        return S_OK;
    (*dispatchInfo)->AddRef();
    *vtableInfo = *dispatchInfo;
    return S_OK;
}

class SerialPortObject final : public INTERFACECLASSSERIALPORT {
public:
    SerialPortObject() { ServerObjectCreated(); }
    ~SerialPortObject() {
        if (vtableInfo_) vtableInfo_->Release();
        if (dispatchInfo_) dispatchInfo_->Release();
        ServerObjectDestroyed();
    }
    SerialPortObject(const SerialPortObject&) = delete;
    SerialPortObject& operator=(const SerialPortObject&) = delete;

    // --- IUnknown ---
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, IID_INTERFACECLASSSERIALPORT)) {
            *object = static_cast<INTERFACECLASSSERIALPORT*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // --- IDispatch, through the type library ---
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_INVALIDARG;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return Guarded([&] {
            const HRESULT loaded = EnsureTypeInfo();
            if (FAILED(loaded)) return loaded;
            dispatchInfo_->AddRef();
            *info = dispatchInfo_;
            return S_OK;
        });
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (!names || !ids) return E_POINTER;
        return Guarded([&] {
            const HRESULT loaded = EnsureTypeInfo();
            if (FAILED(loaded)) return loaded;
            return DispGetIDsOfNames(vtableInfo_, names, count, ids);
        });
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override {
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (!params) return E_POINTER;
        return Guarded([&] {
            const HRESULT loaded = EnsureTypeInfo();
            if (FAILED(loaded)) return loaded;
            // An out argument: a member without a result leaves it empty.
            if (result) VariantInit(result);
            ReferenceArguments arguments;
            DISPPARAMS* adapted = arguments.Adapt(vtableInfo_, id, flags, params);
            const HRESULT called = DispInvoke(static_cast<INTERFACECLASSSERIALPORT*>(this), vtableInfo_, id, flags,
                                              adapted, result, exception, argumentError);
            if (SUCCEEDED(called)) arguments.WriteBack();
            return called;
        });
    }

    // --- methods ---
    STDMETHODIMP Initialize(LONG* result) override { return Constant(result); }
    STDMETHODIMP Terminate(LONG* result) override { return Constant(result); }

    STDMETHODIMP SerialPort_Get_Name_Rt(LONG* result) override {
        return Method(result, "SerialPort_Get_Name_Rt", [this] { ::SerialPort_Get_Name_Rt(&record_); return record_.RtError; });
    }
    STDMETHODIMP SerialPort_Open_Win(LONG* result) override {
        return Method(result, "SerialPort_Open_Win", [this] { ::SerialPort_Open_Win(&record_); return static_cast<int32_t>(record_.WinError); });
    }
    STDMETHODIMP SerialPort_State_Rt(LONG* result) override {
        return Method(result, "SerialPort_State_Rt", [this] { ::SerialPort_State_Rt(&record_); return record_.State; });
    }
    STDMETHODIMP SerialPort_State_Win(LONG* result) override {
        return Method(result, "SerialPort_State_Win", [this] { ::SerialPort_State_Win(&record_); return record_.State; });
    }
    STDMETHODIMP SerialPort_Close_Rt() override {
        LONG ignored = 0;
        return Method(&ignored, "SerialPort_Close_Rt", [this] { return ::SerialPort_Close_Rt(&record_); });
    }
    // The two methods below give the function's own status.
    STDMETHODIMP SerialPort_Close_Win(LONG* result) override {
        return Method(result, "SerialPort_Close_Win", [this] { return ::SerialPort_Close_Win(&record_); });
    }
    STDMETHODIMP SerialPort_Send_Win(LONG* result) override {
        return Method(result, "SerialPort_Send_Win", [this] { return ::SerialPort_Send_Win(&record_); });
    }
    // The received text goes into the argument in the caller's text form; the result is
    // the function's own status.
    STDMETHODIMP SerialPort_Receive_Rt(BSTR* received, LONG* result) override {
        if (!received || !result) return E_POINTER;
        return Guarded([&] {
            const int32_t status = ::SerialPort_Receive_Rt(&record_);
            BSTR text = nullptr;
            const HRESULT made = TextOut(Text(record_.RecBuffer), &text);
            if (FAILED(made)) return made;
            SysFreeString(*received);
            *received = text;
            SetFunctionName("SerialPort_Receive_Rt");
            *result = status;
            return S_OK;
        });
    }
    // The scan. Its records stay in a block the object owns until the next scan on it or
    // its last release; the argument receives the block's address (below 4 GB in a
    // 64-bit process). Result 0, or kNoResultBlock with the argument unchanged.
    STDMETHODIMP SerialPort_Enum(LONG* argument, LONG* result) override {
        if (!argument || !result) return E_POINTER;
        return Guarded([&] {
            uint32_t statusWindow = static_cast<uint32_t>(*argument);
            SAFEARRAY* ports = nullptr;
            int32_t status = ::SerialPort_Enum(&ports, statusWindow != 0 ? &statusWindow : nullptr);
            if (status == 0 && ports) {
                const std::size_t bytes = static_cast<std::size_t>(ports->rgsabound[0].cElements) * sizeof(PortRecord);
                ResultBlock block = ResultBlock::Allocate(bytes, ResultBlockLimit());
                void* records = nullptr;
                if (block && SUCCEEDED(SafeArrayAccessData(ports, &records))) {
                    std::memcpy(block.data(), records, bytes);
                    SafeArrayUnaccessData(ports);
                    enumBlock_ = std::move(block);
                    *argument = static_cast<LONG>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(enumBlock_.data())));
                } else {
                    status = kNoResultBlock;
                }
            }
            if (ports) SafeArrayDestroy(ports);
            SetFunctionName("SerialPort_Enum");
            *result = status;
            return S_OK;
        });
    }

    // --- text properties ---
#define KESTRUNE_TEXT_PROPERTY(Member)                                                   \
    STDMETHODIMP get_##Member(BSTR* value) override {                                    \
        if (!value) return E_POINTER;                                                    \
        return Guarded([&] { return TextOut(Text(record_.Member), value); });            \
    }                                                                                    \
    STDMETHODIMP put_##Member(BSTR value) override {                                     \
        return Guarded([&] { TextIn(record_.Member, value); return S_OK; });             \
    }
    KESTRUNE_TEXT_PROPERTY(Name)
    KESTRUNE_TEXT_PROPERTY(StateDescription)
    KESTRUNE_TEXT_PROPERTY(XmitBuffer)
    KESTRUNE_TEXT_PROPERTY(RecBuffer)
    KESTRUNE_TEXT_PROPERTY(RtErrorDescription)
    KESTRUNE_TEXT_PROPERTY(WinErrorDescription)
    KESTRUNE_TEXT_PROPERTY(AppErrorDescription)
    KESTRUNE_TEXT_PROPERTY(FunctionName)
#undef KESTRUNE_TEXT_PROPERTY

    // --- number properties: stored as given ---
#define KESTRUNE_NUMBER_PROPERTY(Member)                                                 \
    STDMETHODIMP get_##Member(LONG* value) override {                                    \
        if (!value) return E_POINTER;                                                    \
        *value = static_cast<LONG>(record_.Member);                                      \
        return S_OK;                                                                     \
    }                                                                                    \
    STDMETHODIMP put_##Member(LONG value) override {                                     \
        record_.Member = static_cast<decltype(record_.Member)>(value);                   \
        return S_OK;                                                                     \
    }
    KESTRUNE_NUMBER_PROPERTY(Number)
    KESTRUNE_NUMBER_PROPERTY(RtHandle)
    KESTRUNE_NUMBER_PROPERTY(WinHandle)
    KESTRUNE_NUMBER_PROPERTY(HwndTerminal)
    KESTRUNE_NUMBER_PROPERTY(ColorText)
    KESTRUNE_NUMBER_PROPERTY(ColorTextBackGround)
    KESTRUNE_NUMBER_PROPERTY(State)
    KESTRUNE_NUMBER_PROPERTY(Baud)
    KESTRUNE_NUMBER_PROPERTY(DataBits)
    KESTRUNE_NUMBER_PROPERTY(Parity)
    KESTRUNE_NUMBER_PROPERTY(CarrierLineDetect)
    KESTRUNE_NUMBER_PROPERTY(ReceiveLineDetect)
    KESTRUNE_NUMBER_PROPERTY(ClearToSend)
    KESTRUNE_NUMBER_PROPERTY(DataSendReady)
    KESTRUNE_NUMBER_PROPERTY(DSRSENS)
    KESTRUNE_NUMBER_PROPERTY(RING)
    KESTRUNE_NUMBER_PROPERTY(ParityChecking)
    KESTRUNE_NUMBER_PROPERTY(BREAK)
    KESTRUNE_NUMBER_PROPERTY(DTRLINE)
    KESTRUNE_NUMBER_PROPERTY(CTSFLOW)
    KESTRUNE_NUMBER_PROPERTY(DSRFLOW)
    KESTRUNE_NUMBER_PROPERTY(XmitBufferSize)
    KESTRUNE_NUMBER_PROPERTY(RecBufferSize)
    KESTRUNE_NUMBER_PROPERTY(RtError)
    KESTRUNE_NUMBER_PROPERTY(WinError)
    KESTRUNE_NUMBER_PROPERTY(AppError)
    KESTRUNE_NUMBER_PROPERTY(StatusWindow)
#undef KESTRUNE_NUMBER_PROPERTY

    // --- numbers whose put takes the value by reference ---
#define KESTRUNE_BYREF_PROPERTY(Member, beforeGet, afterPut)                             \
    STDMETHODIMP get_##Member(LONG* value) override {                                    \
        if (!value) return E_POINTER;                                                    \
        return Guarded([&] {                                                             \
            beforeGet;                                                                   \
            *value = record_.Member;                                                     \
            return S_OK;                                                                 \
        });                                                                              \
    }                                                                                    \
    STDMETHODIMP put_##Member(LONG* value) override {                                    \
        if (!value) return E_POINTER;                                                    \
        return Guarded([&] {                                                             \
            record_.Member = *value;                                                     \
            afterPut;                                                                    \
            return S_OK;                                                                 \
        });                                                                              \
    }
    KESTRUNE_BYREF_PROPERTY(ParityChar, ::RtSerialPortGetParityChar(&record_), ::SerialPort_Set_Parity_RTChar(&record_))
    KESTRUNE_BYREF_PROPERTY(ParityReplace, ::SerialPort_Get_ParityReplace_RT(&record_),
                            ::SerialPort_Set_ParityReplace_RT(&record_))
    KESTRUNE_BYREF_PROPERTY(LBOUND, (void)0, (void)0)
    KESTRUNE_BYREF_PROPERTY(UBOUND, (void)0, (void)0)
#undef KESTRUNE_BYREF_PROPERTY

    STDMETHODIMP get_StopBits(CY* value) override {
        if (!value) return E_POINTER;
        if (const auto stopBits = StopBitsFromRecord(record_.StopBits)) value->int64 = *stopBits;
        return S_OK;
    }
    STDMETHODIMP put_StopBits(CY value) override {
        record_.StopBits = StopBitsToRecord(value.int64);
        return S_OK;
    }

private:
    HRESULT EnsureTypeInfo() {
        if (vtableInfo_) return S_OK;
        return LoadInterfaceTypeInfo(&dispatchInfo_, &vtableInfo_);
    }

    static HRESULT Constant(LONG* result) {
        if (!result) return E_POINTER;
        *result = 0;
        return S_OK;
    }

    template <typename Call>
    HRESULT Method(LONG* result, const char* name, Call&& call) {
        if (!result) return E_POINTER;
        return Guarded([&] {
            const int32_t value = call();
            SetFunctionName(name);
            *result = value;
            return S_OK;
        });
    }

    // A text argument: through the detection rule; the field takes its ANSI form. An empty
    // argument empties the field and leaves the detection state as it was.
    template <std::size_t N>
    void TextIn(char (&field)[N], BSTR value) {
        const std::string_view bytes = BytesOf(value);
        if (bytes.empty()) {
            SetText(field, "");
            return;
        }
        const DetectedText detected = DetectText(bytes);
        record_.UnicodeFlag = detected.unicodeFlag;
        const std::size_t unicodeBytes = std::min(detected.unicodeBytes.size(), kTextSize - 2) & ~std::size_t{1};
        std::memset(record_.UnicodeText, 0, kTextSize);
        std::memcpy(record_.UnicodeText, detected.unicodeBytes.data(), unicodeBytes);
        SetText(record_.AnsiText, detected.ansi);
        SetText(field, detected.ansi);
    }

    // A text result in the form the last detected argument had: UTF-16 after a UTF-16
    // argument, the stored ANSI bytes otherwise.
    HRESULT TextOut(std::string_view stored, BSTR* value) const {
        BSTR text = nullptr;
        if (record_.UnicodeFlag == 1) {
            const std::wstring wide = WidenAnsi(stored);
            text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        } else {
            text = SysAllocStringByteLen(stored.data(), static_cast<UINT>(stored.size()));
        }
        if (!text) return E_OUTOFMEMORY;
        *value = text;
        return S_OK;
    }

    // FunctionName is set through the object's own put, in the caller's text form, so the
    // detection state stays the caller's.
    void SetFunctionName(const char* name) {
        BSTR text = nullptr;
        if (record_.UnicodeFlag == 1) {
            const std::wstring wide = WidenAnsi(name);
            text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        } else {
            text = SysAllocStringByteLen(name, static_cast<UINT>(std::strlen(name)));
        }
        if (!text) throw std::bad_alloc();
        put_FunctionName(text);
        SysFreeString(text);
    }

    std::atomic<ULONG> refs_{1};
    PortRecord record_{};
    ResultBlock enumBlock_;
    ITypeInfo* dispatchInfo_ = nullptr;
    ITypeInfo* vtableInfo_ = nullptr;
};

}  // namespace

HRESULT CreateSerialPortObject(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    SerialPortObject* created = new (std::nothrow) SerialPortObject();
    if (!created) return E_OUTOFMEMORY;
    const HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}

}  // namespace kestrune
