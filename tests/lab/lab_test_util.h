// Helpers shared by the serial lab's own tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "lab_client.h"

namespace labtest {

// Owns a port handle opened the way a Windows program opens a COM port.
class Port {
public:
    explicit Port(const std::string& com, DWORD share = 0, DWORD flags = 0) {
        std::string path = "\\\\.\\" + com;
        h_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, flags, nullptr);
        error_ = h_ == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (h_ == INVALID_HANDLE_VALUE) h_ = nullptr;
    }
    ~Port() { Close(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    void Close() {
        if (h_) CloseHandle(h_);
        h_ = nullptr;
    }
    bool ok() const { return h_ != nullptr; }
    DWORD error() const { return error_; }
    HANDLE get() const { return h_; }

    DWORD ModemStatus() const {
        DWORD s = 0;
        EXPECT_TRUE(GetCommModemStatus(h_, &s)) << "GetCommModemStatus error " << GetLastError();
        return s;
    }
    void Escape(DWORD func) const { EXPECT_TRUE(EscapeCommFunction(h_, func)) << "escape " << func << " error " << GetLastError(); }
    void Lines(bool dtr, bool rts) const {
        Escape(dtr ? SETDTR : CLRDTR);
        Escape(rts ? SETRTS : CLRRTS);
    }

private:
    HANDLE h_ = nullptr;
    DWORD error_ = 0;
};

// Fixture base: loads C:\lab\layout.ini, fails when the lab is not up.
class LabTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(layout.Load(&error)) << error;
    }
    const lab::Port* Need(lab::Kind kind) {
        const lab::Port* p = layout.FirstOfKind(kind);
        if (!p) ADD_FAILURE() << "the lab layout '" << layout.name() << "' has no port of kind " << lab::KindName(kind);
        return p;
    }
    lab::Layout layout;
};

inline std::string ModemBits(DWORD s) {
    std::string out;
    out += (s & MS_DSR_ON) ? "DSR " : "dsr ";
    out += (s & MS_CTS_ON) ? "CTS " : "cts ";
    out += (s & MS_RLSD_ON) ? "DCD " : "dcd ";
    out += (s & MS_RING_ON) ? "RI" : "ri";
    return out;
}

}  // namespace labtest
