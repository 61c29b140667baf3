// The class is apartment threaded: two threads of one program, each in its own apartment
// with its own object of the class and its own status bar, scan at the same time. Each
// scan's records are its own (every lab port once, its own bar in the record that carries
// the progress) and each bar shows its own scan's texts.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <set>
#include <string>

#include "com/class_server.h"
#include "com/serial_port_typelib.h"
#include "gui_helpers.h"
#include "lab/client/lab_client.h"
#include "record/port_record.h"
#include "support/handles.h"

using namespace kestrune;

namespace {

constexpr int kScansPerThread = 50;

struct ScanThread {
    std::set<std::string> expected;  // the lab's ports
    HANDLE ready = nullptr;          // set by both threads before they scan; then go
    HANDLE go = nullptr;
    int scans = 0;
    int wrong = 0;
    std::string firstWrong;
    std::string barText;
};

void Wrong(ScanThread& thread, const std::string& what) {
    if (thread.wrong++ == 0) thread.firstWrong = what;
}

DWORD WINAPI Scan(void* parameter) {
    ScanThread& thread = *static_cast<ScanThread*>(parameter);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND frame = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 400, 100, nullptr, nullptr, nullptr, nullptr);
    HWND bar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame, nullptr, nullptr,
                               nullptr);
    int parts[4] = {100, 200, 300, -1};
    SendMessageA(bar, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(parts));
    INTERFACECLASSSERIALPORT* port = nullptr;
    CreateFromClassTable("CLASSSERIALPORT", IID_INTERFACECLASSSERIALPORT, reinterpret_cast<void**>(&port));
    SetEvent(thread.ready);
    WaitForSingleObject(thread.go, INFINITE);
    for (int i = 0; port && bar && i < kScansPerThread; ++i) {
        LONG argument = static_cast<LONG>(HandleToField(bar)), result = -1;
        if (FAILED(port->SerialPort_Enum(&argument, &result)) || result != 0) {
            Wrong(thread, "scan " + std::to_string(i) + " failed");
            continue;
        }
        ++thread.scans;
        const auto* first = reinterpret_cast<const PortRecord*>(static_cast<uintptr_t>(static_cast<uint32_t>(argument)));
        const int32_t upper = first->UBOUND;
        std::set<std::string> names;
        for (int32_t k = 0; k <= upper && k < 1000; ++k) names.insert(first[k].PortName);
        if (names != thread.expected || static_cast<size_t>(upper + 1) != thread.expected.size())
            Wrong(thread, "scan " + std::to_string(i) + ": other ports");
        if (upper >= 0 && first[upper].StatusWindow != HandleToField(bar))
            Wrong(thread, "scan " + std::to_string(i) + ": another status bar");
    }
    thread.barText = kestrune_test::StatusText(bar, 0);
    if (port) port->Release();
    DestroyWindow(frame);
    CoUninitialize();
    return 0;
}

TEST(ApartmentScans, TwoThreadsScanAtOnceEachWithItsOwnObjectAndBar) {
    lab::Layout layout;
    std::string error;
    if (!layout.Load(&error)) GTEST_SKIP() << "serial lab not up: " << error;
    ScanThread threads[2];
    UniqueHandle go(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle ready[2], running[2];
    for (int t = 0; t < 2; ++t) {
        for (const lab::Port& port : layout.ports()) threads[t].expected.insert(port.com);
        ready[t].reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        threads[t].ready = ready[t].get();
        threads[t].go = go.get();
        running[t].reset(CreateThread(nullptr, 0, Scan, &threads[t], 0, nullptr));
        ASSERT_TRUE(running[t]);
    }
    HANDLE readyBoth[2] = {ready[0].get(), ready[1].get()};
    ASSERT_EQ(WaitForMultipleObjects(2, readyBoth, TRUE, 30000), WAIT_OBJECT_0);
    SetEvent(go.get());
    HANDLE both[2] = {running[0].get(), running[1].get()};
    ASSERT_EQ(WaitForMultipleObjects(2, both, TRUE, 600000), WAIT_OBJECT_0);
    for (const ScanThread& thread : threads) {
        EXPECT_EQ(thread.scans, kScansPerThread);
        EXPECT_EQ(thread.wrong, 0) << thread.firstWrong;
        EXPECT_FALSE(thread.barText.empty()) << "no progress reached the thread's own bar";
    }
}

}  // namespace
