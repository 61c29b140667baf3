// The serial-port class in this process (from the class table), through dispatch and
// through its function table: every member by name and DispID, the standard dispatch
// errors, the text and stop-bit rules, bad input and the scan's result block.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "com/class_server.h"
#include "com/result_block.h"
#include "com/serial_port_object.h"
#include "dispatch_client.h"
#include "record/port_record.h"

namespace kestrune {
namespace {

using comtest::Call;
using comtest::IdOf;
using comtest::Ref;
using comtest::Utf16Bytes;
using comtest::Variant;

enum class Kind { kLong, kText, kByRef, kCurrency, kMethod };

struct Member {
    const wchar_t* name;
    DISPID id;
    Kind kind;
};

// The interface's members in their function-table order.
const Member kMembers[] = {
    {L"Initialize", 1, Kind::kMethod}, {L"Terminate", 2, Kind::kMethod},
    {L"Name", 10, Kind::kText}, {L"Number", 11, Kind::kLong}, {L"RtHandle", 12, Kind::kLong},
    {L"WinHandle", 13, Kind::kLong}, {L"HwndTerminal", 52, Kind::kLong}, {L"ColorText", 53, Kind::kLong},
    {L"ColorTextBackGround", 54, Kind::kLong}, {L"State", 14, Kind::kLong},
    {L"StateDescription", 15, Kind::kText}, {L"Baud", 16, Kind::kLong}, {L"DataBits", 17, Kind::kLong},
    {L"Parity", 18, Kind::kLong}, {L"StopBits", 19, Kind::kCurrency}, {L"CarrierLineDetect", 20, Kind::kLong},
    {L"ReceiveLineDetect", 21, Kind::kLong}, {L"ClearToSend", 22, Kind::kLong},
    {L"DataSendReady", 23, Kind::kLong}, {L"DSRSENS", 24, Kind::kLong}, {L"RING", 25, Kind::kLong},
    {L"ParityChecking", 26, Kind::kLong}, {L"BREAK", 27, Kind::kLong}, {L"DTRLINE", 28, Kind::kLong},
    {L"CTSFLOW", 29, Kind::kLong}, {L"DSRFLOW", 30, Kind::kLong}, {L"XmitBufferSize", 31, Kind::kLong},
    {L"RecBufferSize", 32, Kind::kLong}, {L"XmitBuffer", 33, Kind::kText}, {L"RecBuffer", 34, Kind::kText},
    {L"RtError", 35, Kind::kLong}, {L"RtErrorDescription", 36, Kind::kText}, {L"WinError", 37, Kind::kLong},
    {L"WinErrorDescription", 38, Kind::kText}, {L"AppError", 39, Kind::kLong},
    {L"AppErrorDescription", 40, Kind::kText}, {L"FunctionName", 41, Kind::kText},
    {L"StatusWindow", 42, Kind::kLong}, {L"ParityChar", 50, Kind::kByRef}, {L"ParityReplace", 51, Kind::kByRef},
    {L"LBOUND", 55, Kind::kByRef}, {L"UBOUND", 56, Kind::kByRef},
    {L"SerialPort_Get_Name_Rt", 100, Kind::kMethod}, {L"SerialPort_Open_Win", 101, Kind::kMethod},
    {L"SerialPort_State_Rt", 102, Kind::kMethod}, {L"SerialPort_State_Win", 103, Kind::kMethod},
    {L"SerialPort_Close_Rt", 104, Kind::kMethod}, {L"SerialPort_Close_Win", 105, Kind::kMethod},
    {L"SerialPort_Send_Win", 106, Kind::kMethod}, {L"SerialPort_Receive_Rt", 108, Kind::kMethod},
    {L"SerialPort_Enum", 150, Kind::kMethod},
};

class ClassDispatch : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CreateFromClassTable("CLASSSERIALPORT", IID_IDispatch, object_.put_void()), S_OK);
    }
    IDispatch* object() { return object_.get(); }

    Variant Get(DISPID id, HRESULT expected = S_OK) {
        Variant result;
        EXPECT_EQ(Call(object(), id, DISPATCH_PROPERTYGET, {}, &result.v), expected) << id;
        return result;
    }
    void Put(DISPID id, const Variant& value, HRESULT expected = S_OK) {
        EXPECT_EQ(Call(object(), id, DISPATCH_PROPERTYPUT, {value.v}, nullptr), expected) << id;
    }
    std::string GetText(DISPID id) { return Get(id).bytes(); }
    long GetLong(DISPID id) {
        Variant value = Get(id);
        return V_VT(&value.v) == VT_I4 ? V_I4(&value.v) : -1;
    }
    LONGLONG GetCurrency(DISPID id) {
        Variant value = Get(id);
        return V_VT(&value.v) == VT_CY ? V_CY(&value.v).int64 : -1;
    }

    comtest::Apartment apartment_;
    Ref<IDispatch> object_;
};

TEST_F(ClassDispatch, NamesFindTheirDispIdsWithoutRegardToCase) {
    for (const Member& m : kMembers) {
        std::wstring name = m.name, lower = m.name;
        for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
        DISPID id = 0, lowerId = 0;
        EXPECT_EQ(IdOf(object(), name, id), S_OK);
        EXPECT_EQ(IdOf(object(), lower, lowerId), S_OK);
        EXPECT_EQ(id, m.id) << std::string(name.begin(), name.end());
        EXPECT_EQ(lowerId, m.id);
    }
}

TEST_F(ClassDispatch, NewObjectDefaultsThenEveryPutReadsBack) {
    long next = 1000;
    for (const Member& m : kMembers) {
        const std::string name(m.name, m.name + wcslen(m.name));
        Variant fresh = Get(m.id, m.kind == Kind::kMethod ? DISP_E_MEMBERNOTFOUND : S_OK);
        switch (m.kind) {
            case Kind::kLong:
            case Kind::kByRef: {
                Put(12, Variant(0L));  // no channel number: the parity getters keep their field
                EXPECT_EQ(V_VT(&fresh.v), VT_I4) << name;
                EXPECT_EQ(V_I4(&fresh.v), 0) << name;
                Put(m.id, Variant(++next));
                Variant back = Get(m.id);
                EXPECT_EQ(V_I4(&back.v), next) << name;
                break;
            }
            case Kind::kText: {
                EXPECT_EQ(V_VT(&fresh.v), VT_BSTR) << name;
                EXPECT_EQ(fresh.bytes(), "") << name;
                Put(m.id, Variant(L"COM7"));
                EXPECT_EQ(GetText(m.id), Utf16Bytes(L"COM7")) << name;
                break;
            }
            case Kind::kCurrency: {
                EXPECT_EQ(V_VT(&fresh.v), VT_CY);
                EXPECT_EQ(V_CY(&fresh.v).int64, 10000);  // code 0: one stop bit
                Put(m.id, Variant::Currency(20000));
                EXPECT_EQ(GetCurrency(m.id), 20000);
                break;
            }
            case Kind::kMethod: break;
        }
    }
}

TEST_F(ClassDispatch, StandardErrors) {
    DISPID id = 0;
    EXPECT_EQ(IdOf(object(), L"NoSuchMember", id), DISP_E_UNKNOWNNAME);
    Variant result;
    EXPECT_EQ(Call(object(), 16, DISPATCH_PROPERTYGET, {Variant(1L).v}, &result.v), DISP_E_NOTACOLLECTION);
    EXPECT_EQ(Call(object(), 1, DISPATCH_METHOD, {Variant(1L).v}, &result.v), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(object(), 150, DISPATCH_METHOD, {}, &result.v), DISP_E_BADPARAMCOUNT);
    Put(16, Variant(L"not a number"), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Call(object(), 107, DISPATCH_METHOD, {}, &result.v), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(object()->Invoke(16, IID_IDispatch, 0, DISPATCH_PROPERTYGET, nullptr, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);

    // SerialPort_Close_Rt has no result: asked for one, the call succeeds and gives none.
    Variant none(5L);
    EXPECT_EQ(Call(object(), 104, DISPATCH_METHOD, {}, &none.v), S_OK);
    EXPECT_EQ(V_VT(&none.v), VT_EMPTY);
    EXPECT_EQ(GetText(41), "SerialPort_Close_Rt");
}

TEST_F(ClassDispatch, FunctionTableOrderFromCpp) {
    Ref<INTERFACECLASSSERIALPORT> port;
    ASSERT_EQ(object()->QueryInterface(IID_INTERFACECLASSSERIALPORT, port.put_void()), S_OK);
    ASSERT_EQ(port->put_Baud(19200), S_OK);
    EXPECT_EQ(GetLong(16), 19200);
    Put(56, Variant(7L));
    LONG upper = 0, lower = -1;
    EXPECT_EQ(port->get_UBOUND(&upper), S_OK);
    EXPECT_EQ(port->get_LBOUND(&lower), S_OK);
    EXPECT_EQ(upper, 7);
    EXPECT_EQ(lower, 0);
    CY stop{};
    stop.int64 = 15000;
    ASSERT_EQ(port->put_StopBits(stop), S_OK);
    EXPECT_EQ(GetCurrency(19), 15000);
    LONG result = -1;
    EXPECT_EQ(port->Initialize(&result), S_OK);
    EXPECT_EQ(result, 0);
}

TEST_F(ClassDispatch, TextAndStopBitEdgeCases) {
    // Name as UTF-16: read back as UTF-16; the record holds it in ANSI, which an ANSI
    // argument elsewhere makes visible.
    Put(10, Variant::Bytes(Utf16Bytes(L"COM1")));
    EXPECT_EQ(GetText(10), Utf16Bytes(L"COM1"));
    Put(33, Variant::Bytes("xyz"));
    EXPECT_EQ(GetText(10), "COM1");
    // Name as ANSI bytes: read back as ANSI bytes.
    Put(10, Variant::Bytes("COM2"));
    EXPECT_EQ(GetText(10), "COM2");
    // Two ANSI letters count as one UTF-16 character.
    Put(10, Variant::Bytes("AB"));
    EXPECT_EQ(GetText(10).size(), sizeof(wchar_t));
    // StateDescription as UTF-16 keeps the whole text (not only its first letter).
    Put(15, Variant::Bytes(Utf16Bytes(L"Open")));
    EXPECT_EQ(GetText(15), Utf16Bytes(L"Open"));
    // A UTF-16 WinErrorDescription turns the flag on: the ANSI name is read as UTF-16.
    Put(10, Variant::Bytes("COM3"));
    Put(38, Variant::Bytes(Utf16Bytes(L"Access denied.")));
    EXPECT_EQ(GetText(10), Utf16Bytes(L"COM3"));
    // An ANSI caller reads every text as ANSI bytes.
    Put(36, Variant::Bytes("Channel error"));
    EXPECT_EQ(GetText(38), "Access denied.");
    // An empty text empties the field.
    Put(36, Variant::Bytes(""));
    EXPECT_EQ(GetText(36), "");

    // StopBits 1.5 reads back 1.5; 3 is stored as given and the get leaves its result alone.
    Put(19, Variant::Currency(15000));
    EXPECT_EQ(GetCurrency(19), 15000);
    Ref<INTERFACECLASSSERIALPORT> port;
    ASSERT_EQ(object()->QueryInterface(IID_INTERFACECLASSSERIALPORT, port.put_void()), S_OK);
    CY three{}, untouched{};
    three.int64 = 30000;
    untouched.int64 = 777;
    ASSERT_EQ(port->put_StopBits(three), S_OK);
    ASSERT_EQ(port->get_StopBits(&untouched), S_OK);
    EXPECT_EQ(untouched.int64, 777);
}

TEST_F(ClassDispatch, BadInput) {
    Ref<INTERFACECLASSSERIALPORT> port;
    ASSERT_EQ(object()->QueryInterface(IID_INTERFACECLASSSERIALPORT, port.put_void()), S_OK);
    EXPECT_EQ(port->get_Baud(nullptr), E_POINTER);
    EXPECT_EQ(port->get_Name(nullptr), E_POINTER);
    EXPECT_EQ(port->get_StopBits(nullptr), E_POINTER);
    EXPECT_EQ(port->put_ParityChar(nullptr), E_POINTER);
    EXPECT_EQ(port->SerialPort_Enum(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(port->SerialPort_Receive_Rt(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(port->SerialPort_Open_Win(nullptr), E_POINTER);
    EXPECT_EQ(port->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
    void* none = &none;
    EXPECT_EQ(port->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(port->GetTypeInfoCount(nullptr), E_INVALIDARG);
    EXPECT_EQ(CreateFromClassTable("CLASSSERIALPORT", IID_IDispatch, nullptr), E_POINTER);

    // 300 characters are cut to 259, in either text form.
    const std::wstring longText(300, L'x');
    Put(33, Variant(longText.c_str()));
    EXPECT_EQ(GetText(33), Utf16Bytes(longText.substr(0, 259)));
    Put(33, Variant::Bytes(std::string(300, 'y')));
    EXPECT_EQ(GetText(33), std::string(259, 'y'));
}

TEST_F(ClassDispatch, ReceiveCopiesTheRecordTextIntoItsArgument) {
    Put(34, Variant(L"kept"));
    BSTR text = SysAllocString(L"old");
    VARIANT argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&argument) = &text;
    Variant result;
    ASSERT_EQ(Call(object(), 108, DISPATCH_METHOD, {argument}, &result.v), S_OK);
    EXPECT_EQ(std::wstring(text), L"kept");  // no channel is open: nothing was received
    SysFreeString(text);
    EXPECT_EQ(GetText(41), Utf16Bytes(L"SerialPort_Receive_Rt"));
}

// A value passed by value stays its caller's: a string lent to an [in, out] parameter comes
// back the same string, unchanged, for its caller to free once; an integer (a late-bound
// caller's status-bar handle or address) gets the member's answer in the caller's type.
TEST_F(ClassDispatch, ByValueArgumentsStayTheCallers) {
    Put(34, Variant(L"kept"));
    BSTR lent = SysAllocString(L"mine");
    VARIANT arguments[2];  // one call each, the caller's own array
    VariantInit(&arguments[0]);
    V_VT(&arguments[0]) = VT_BSTR;
    V_BSTR(&arguments[0]) = lent;
    VariantInit(&arguments[1]);
    V_VT(&arguments[1]) = VT_UI4;
    V_UI4(&arguments[1]) = 0;
    const struct {
        const char* what;
        DISPID id;
        VARTYPE type;
    } rows[] = {{"string to SerialPort_Receive_Rt", 108, VT_BSTR}, {"address to SerialPort_Enum", 150, VT_UI4}};
    for (int i = 0; i < 2; ++i) {
        DISPPARAMS params = {&arguments[i], nullptr, 1, 0};
        Variant result;
        ASSERT_EQ(object()->Invoke(rows[i].id, IID_NULL, 0x800, DISPATCH_METHOD, &params, &result.v, nullptr, nullptr),
                  S_OK)
            << rows[i].what;
        EXPECT_EQ(V_VT(&arguments[i]), rows[i].type) << rows[i].what;
    }
    EXPECT_EQ(V_BSTR(&arguments[0]), lent) << "the caller's string was replaced";
    EXPECT_EQ(std::wstring(lent), L"mine");
    EXPECT_NE(V_UI4(&arguments[1]), 0u) << "the scan's address did not come back";
    SysFreeString(lent);  // the caller's one free
}

TEST_F(ClassDispatch, ScanResultsStayInTheObjectBelow4GB) {
    Ref<INTERFACECLASSSERIALPORT> port;
    ASSERT_EQ(object()->QueryInterface(IID_INTERFACECLASSSERIALPORT, port.put_void()), S_OK);
    LONG argument = 0, result = -1;
    ASSERT_EQ(port->SerialPort_Enum(&argument, &result), S_OK);
    ASSERT_EQ(result, 0);
    ASSERT_NE(argument, 0);
    const auto* first = reinterpret_cast<const PortRecord*>(static_cast<uintptr_t>(static_cast<uint32_t>(argument)));
    ASSERT_EQ(first->LBOUND, 0);
    ASSERT_GE(first->UBOUND, 0);
    const int32_t upper = first->UBOUND;
    for (int32_t k = 0; k <= upper; ++k) {
        EXPECT_EQ(first[k].UBOUND, upper);
        EXPECT_EQ(std::string(first[k].PortName).rfind("COM", 0), 0u) << k;
    }
    // Still readable after other calls on the object; replaced by the next scan.
    LONG ignored = 0;
    port->SerialPort_State_Rt(&ignored);
    EXPECT_EQ(first->UBOUND, upper);
    LONG second = 0;
    ASSERT_EQ(port->SerialPort_Enum(&second, &result), S_OK);
    EXPECT_NE(second, 0);
    auto state = [](LONG address) {
        MEMORY_BASIC_INFORMATION info{};
        const auto* at = reinterpret_cast<const void*>(static_cast<uintptr_t>(static_cast<uint32_t>(address)));
        VirtualQuery(at, &info, sizeof info);
        return info.State;
    };
    EXPECT_EQ(state(second), static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(state(argument), static_cast<DWORD>(MEM_FREE)) << "the first scan's block outlived the second scan";
}

TEST_F(ClassDispatch, ScanWithNoRoomForItsBlockFailsAndLeavesTheArgument) {
    Ref<INTERFACECLASSSERIALPORT> port;
    ASSERT_EQ(object()->QueryInterface(IID_INTERFACECLASSSERIALPORT, port.put_void()), S_OK);
    LONG argument = 0, result = -1;
    {
        const ScopedResultBlockLimit nothingFree(0x10000);  // no free region ends that low
        ASSERT_EQ(port->SerialPort_Enum(&argument, &result), S_OK);
    }
    EXPECT_EQ(result, kNoResultBlock);
    EXPECT_EQ(argument, 0);
    ASSERT_EQ(port->SerialPort_Enum(&argument, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_NE(argument, 0);
}

}  // namespace
}  // namespace kestrune
