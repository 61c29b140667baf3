#pragma once
// A port's requests during the cable experiment, each on a thread of the port's own and
// each waited for at most a bound.
//
// Windows runs the requests on a synchronous file object one at a time, so a port whose
// driver stalls one request stalls every later one on that port, from any handle. Each
// lane holds its own duplicate of the port's handle (a stalled call keeps it valid after
// the scan has closed its channel) and shares its state with its thread: the scan can go
// on without a lane that overran its bound, and the lane's thread, when its call returns,
// puts the port's lines and control block back, closes its duplicate and ends, touching
// nothing of the scan's.
#include <windows.h>

#include <cstdint>
#include <memory>

#include "support/handles.h"

namespace kestrune {

enum class LaneOp {
    kSave,     // read the control block; DTR or RTS under handshake control switched to enable
    kDrive,    // RTS then DTR to the levels asked (RTS first: the DTR request carries both to a USB CDC device)
    kRead,     // the modem status word
    kRestore,  // the control block and the lines back as they were at kSave
};

struct LaneResult {
    DWORD error = 0;         // 0, or the system error of the request that failed
    int32_t command = 0;     // the line request that failed (SETDTR ... CLRRTS); 0 for other steps
    bool switchFailed = false;  // kSave: handshake control could not be switched off for the test
    uint32_t status = 0;     // kRead: the modem status word
    int32_t dtrCommand = 0;  // kDrive: the DTR and RTS requests sent
    int32_t rtsCommand = 0;
};

struct LaneBlock;

class CableLane {
public:
    // Duplicates port; the thread starts with the first request.
    explicit CableLane(HANDLE port);
    // Tells the thread to put the port back (when it saved it and has not yet) and end, and
    // waits for that (bounded) unless the lane is still inside a call it was given up in.
    ~CableLane();
    CableLane(const CableLane&) = delete;
    CableLane& operator=(const CableLane&) = delete;

    bool usable() const;
    // Starts one request; false when the lane cannot take it (no thread, one still running).
    bool Start(LaneOp op, bool dtr = false, bool rts = false);
    HANDLE doneEvent() const;
    bool Done() const;
    LaneResult Result() const;

private:
    std::shared_ptr<LaneBlock> block_;
    UniqueHandle thread_;
};

// Whether a failed request says the device itself is gone (unplugged, removed): the port
// is disconnected, not a driver that refuses line control.
bool DeviceGoneError(DWORD error);

}  // namespace kestrune
