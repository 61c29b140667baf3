#include "scan/cable_lanes.h"

#include <mutex>

#include "support/module_hold.h"

namespace kestrune {

struct LaneBlock {
    std::mutex lock;
    UniqueHandle port;
    UniqueHandle go{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    UniqueHandle done{CreateEventA(nullptr, TRUE, TRUE, nullptr)};  // manual; set while idle
    LaneOp op = LaneOp::kRead;
    bool dtr = false, rts = false;
    bool busy = false;
    bool stop = false;
    LaneResult result;
    // Touched by the lane's thread only.
    DCB saved{};
    bool savedKnown = false;
    bool switched = false;
    bool restored = false;
};

namespace {

// How long the end of an idle lane is waited for: a restore of two lines and a close.
constexpr DWORD kLaneEndMilliseconds = 1000;

DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

bool UnderHandshake(const DCB& dcb) {
    return dcb.fDtrControl == DTR_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ||
           dcb.fRtsControl == RTS_CONTROL_TOGGLE;
}

void Save(LaneBlock& b, LaneResult& r) {
    b.saved.DCBlength = sizeof(DCB);
    if (!GetCommState(b.port.get(), &b.saved)) {
        r.error = LastErrorOr(ERROR_GEN_FAILURE);
        return;
    }
    b.savedKnown = true;
    if (!UnderHandshake(b.saved)) return;
    DCB test = b.saved;
    if (test.fDtrControl == DTR_CONTROL_HANDSHAKE) test.fDtrControl = DTR_CONTROL_ENABLE;
    if (test.fRtsControl == RTS_CONTROL_HANDSHAKE || test.fRtsControl == RTS_CONTROL_TOGGLE)
        test.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(b.port.get(), &test)) {
        r.error = LastErrorOr(ERROR_GEN_FAILURE);
        r.switchFailed = true;
        return;
    }
    b.switched = true;
}

void Drive(LaneBlock& b, LaneResult& r) {
    r.rtsCommand = b.rts ? SETRTS : CLRRTS;
    r.dtrCommand = b.dtr ? SETDTR : CLRDTR;
    for (const int32_t code : {r.rtsCommand, r.dtrCommand}) {
        if (EscapeCommFunction(b.port.get(), static_cast<DWORD>(code))) continue;
        r.error = LastErrorOr(ERROR_GEN_FAILURE);
        r.command = code;
        return;
    }
}

void Restore(LaneBlock& b, LaneResult& r) {
    if (!b.savedKnown || b.restored) return;
    b.restored = true;
    const HANDLE port = b.port.get();
    if (b.switched && !SetCommState(port, &b.saved)) r.error = LastErrorOr(ERROR_GEN_FAILURE);
    if (b.saved.fRtsControl == RTS_CONTROL_ENABLE) EscapeCommFunction(port, SETRTS);
    else if (b.saved.fRtsControl == RTS_CONTROL_DISABLE) EscapeCommFunction(port, CLRRTS);
    if (b.saved.fDtrControl == DTR_CONTROL_ENABLE) EscapeCommFunction(port, SETDTR);
    else if (b.saved.fDtrControl == DTR_CONTROL_DISABLE) EscapeCommFunction(port, CLRDTR);
}

DWORD WINAPI LaneMain(void* parameter) {
    ModuleHold hold;
    std::unique_ptr<std::shared_ptr<LaneBlock>> owned(static_cast<std::shared_ptr<LaneBlock>*>(parameter));
    const std::shared_ptr<LaneBlock> block = *owned;
    owned.reset();
    LaneBlock& b = *block;
    for (;;) {
        WaitForSingleObject(b.go.get(), INFINITE);
        LaneOp op;
        {
            std::lock_guard<std::mutex> guard(b.lock);
            if (!b.busy) {
                if (b.stop) break;
                continue;
            }
            op = b.op;
        }
        LaneResult result;
        switch (op) {
            case LaneOp::kSave: Save(b, result); break;
            case LaneOp::kDrive: Drive(b, result); break;
            case LaneOp::kRead:
                if (DWORD status = 0; GetCommModemStatus(b.port.get(), &status)) result.status = status;
                else result.error = LastErrorOr(ERROR_GEN_FAILURE);
                break;
            case LaneOp::kRestore: Restore(b, result); break;
        }
        bool stop;
        {
            std::lock_guard<std::mutex> guard(b.lock);
            b.result = result;
            b.busy = false;
            stop = b.stop;
        }
        SetEvent(b.done.get());
        if (stop) break;
    }
    // Given up or finished: the port is handed back as it was found.
    LaneResult ignored;
    Restore(b, ignored);
    b.port.reset();
    return 0;
}

}  // namespace

bool DeviceGoneError(DWORD error) {
    switch (error) {
        case ERROR_NOT_READY:             // 21: the device is not ready
        case ERROR_DEV_NOT_EXIST:         // 55: the device no longer exists
        case ERROR_DEVICE_NOT_CONNECTED:  // 1167
        case ERROR_DEVICE_REMOVED:        // 1617: the handle's device was removed
            return true;
        default:
            return false;
    }
}

CableLane::CableLane(HANDLE port) {
    auto block = std::make_shared<LaneBlock>();
    if (!block->go || !block->done || !port) return;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), port, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return;
    block->port.reset(copy);
    auto* parameter = new std::shared_ptr<LaneBlock>(block);
    thread_.reset(CreateThread(nullptr, 0, LaneMain, parameter, 0, nullptr));
    if (!thread_) {
        delete parameter;
        return;
    }
    block_ = std::move(block);
}

CableLane::~CableLane() {
    if (!block_) return;
    bool idle;
    {
        std::lock_guard<std::mutex> guard(block_->lock);
        block_->stop = true;
        idle = !block_->busy;
    }
    SetEvent(block_->go.get());
    // An idle lane puts its port back and closes its duplicate at once: wait for that, so
    // the port is free when the scan returns. A lane still inside a call is not waited for.
    if (idle) WaitForSingleObject(thread_.get(), kLaneEndMilliseconds);
}

bool CableLane::usable() const { return block_ != nullptr; }

bool CableLane::Start(LaneOp op, bool dtr, bool rts) {
    if (!block_) return false;
    {
        std::lock_guard<std::mutex> guard(block_->lock);
        if (block_->busy || block_->stop) return false;
        block_->op = op;
        block_->dtr = dtr;
        block_->rts = rts;
        block_->busy = true;
    }
    ResetEvent(block_->done.get());
    SetEvent(block_->go.get());
    return true;
}

HANDLE CableLane::doneEvent() const { return block_ ? block_->done.get() : nullptr; }

bool CableLane::Done() const { return block_ && WaitForSingleObject(block_->done.get(), 0) == WAIT_OBJECT_0; }

LaneResult CableLane::Result() const {
    if (!block_) return {};
    std::lock_guard<std::mutex> guard(block_->lock);
    return block_->result;
}

}  // namespace kestrune
