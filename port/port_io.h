#pragma once
// What the channel layer asks of an open port. The system's serial port is the one real
// kind; tests put a stand-in behind a channel for what the emulated ports cannot keep.
#include <windows.h>

namespace kestrune {

class PortIo {
public:
    virtual ~PortIo() = default;
    // The native handle the record shows as WinHandle.
    virtual HANDLE Native() const = 0;
    virtual bool GetState(DCB& dcb) = 0;
    virtual bool SetState(const DCB& dcb) = 0;
    virtual bool GetProperties(COMMPROP& props) = 0;
    virtual bool SetQueues(DWORD input, DWORD output) = 0;
    virtual bool GetModemStatus(DWORD& lines) = 0;
    virtual bool ClearError(DWORD& errors, COMSTAT& status) = 0;
    virtual bool GetTimeouts(COMMTIMEOUTS& timeouts) = 0;
    virtual bool SetTimeouts(const COMMTIMEOUTS& timeouts) = 0;
    virtual bool Read(void* buffer, DWORD size, DWORD& got) = 0;
    virtual bool Write(const void* data, DWORD size, DWORD& written) = 0;
};

}  // namespace kestrune
