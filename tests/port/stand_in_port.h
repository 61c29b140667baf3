#pragma once
// Fake: a port behind a channel for what the lab's ports cannot show (a device that never
// stops sending, a call that throws). Every call first runs `raise` when it is set; the
// input queue always reports `queued` bytes and a read hands out all it is asked for.
#include <cstdint>
#include <cstring>
#include <functional>

#include "port/port_io.h"

namespace porttest {

class StandInPort final : public kestrune::PortIo {
public:
    StandInPort(uintptr_t native, DWORD queued = 0, std::function<void()> raise = {}, uint64_t* delivered = nullptr)
        : native_(native), queued_(queued), raise_(std::move(raise)), delivered_(delivered) {}
    HANDLE Native() const override { return reinterpret_cast<HANDLE>(native_); }
    bool GetState(DCB&) override { return Fail(); }
    bool SetState(const DCB&) override { return Fail(); }
    bool GetProperties(COMMPROP&) override { return Fail(); }
    bool SetQueues(DWORD, DWORD) override { return Fail(); }
    bool GetModemStatus(DWORD&) override { return Fail(); }
    bool GetTimeouts(COMMTIMEOUTS& t) override { return Raise(), (t = COMMTIMEOUTS{}), true; }
    bool SetTimeouts(const COMMTIMEOUTS&) override { return Raise(), true; }
    bool ClearError(DWORD& errors, COMSTAT& status) override {
        Raise();
        errors = 0;
        status = COMSTAT{};
        status.cbInQue = queued_;
        return true;
    }
    bool Read(void* buffer, DWORD size, DWORD& got) override {
        Raise();
        std::memset(buffer, 'x', size);
        if (delivered_) *delivered_ += size;
        return (got = size), true;
    }
    bool Write(const void*, DWORD size, DWORD& written) override { return Raise(), (written = size), true; }

private:
    void Raise() const {
        if (raise_) raise_();
    }
    bool Fail() const { return Raise(), false; }
    uintptr_t native_;
    DWORD queued_;
    std::function<void()> raise_;
    uint64_t* delivered_;
};

}  // namespace porttest
