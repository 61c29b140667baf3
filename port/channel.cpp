#include "port/channel.h"

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

#include "port/channel_errors.h"
#include "port/port_io.h"
#include "support/error_keeping_lock.h"
#include "support/handles.h"

namespace kestrune {
namespace {

// The system's serial port behind a handle the channel owns.
class SystemPort final : public PortIo {
public:
    explicit SystemPort(UniqueHandle handle) : handle_(std::move(handle)) {}
    HANDLE Native() const override { return handle_.get(); }
    bool GetState(DCB& dcb) override { return GetCommState(handle_.get(), &dcb) != 0; }
    bool SetState(const DCB& dcb) override { return SetCommState(handle_.get(), const_cast<DCB*>(&dcb)) != 0; }
    bool GetProperties(COMMPROP& props) override { return GetCommProperties(handle_.get(), &props) != 0; }
    bool SetQueues(DWORD input, DWORD output) override { return SetupComm(handle_.get(), input, output) != 0; }
    bool GetModemStatus(DWORD& lines) override { return GetCommModemStatus(handle_.get(), &lines) != 0; }
    bool ClearError(DWORD& errors, COMSTAT& status) override {
        return ClearCommError(handle_.get(), &errors, &status) != 0;
    }
    bool GetTimeouts(COMMTIMEOUTS& t) override { return GetCommTimeouts(handle_.get(), &t) != 0; }
    bool SetTimeouts(const COMMTIMEOUTS& t) override {
        return SetCommTimeouts(handle_.get(), const_cast<COMMTIMEOUTS*>(&t)) != 0;
    }
    bool Read(void* buffer, DWORD size, DWORD& got) override {
        return ReadFile(handle_.get(), buffer, size, &got, nullptr) != 0;
    }
    bool Write(const void* data, DWORD size, DWORD& written) override {
        return WriteFile(handle_.get(), data, size, &written, nullptr) != 0;
    }

private:
    UniqueHandle handle_;
};

struct Channel {
    std::unique_ptr<PortIo> port;
    std::string devicePath;
    std::mutex io;          // one read, write or setting change at a time
    std::string readAhead;  // received bytes not yet handed out
};

// The layer's state: the counter and the open channels, under one lock. A channel in use by
// an operation stays alive (and its handle open) until that operation ends, even when
// another thread closes it meanwhile.
struct ChannelTable {
    std::mutex lock;
    int32_t counter = 0;
    std::map<int32_t, std::shared_ptr<Channel>> open;
};

ChannelTable& Table() {
    static ChannelTable* table = new ChannelTable;  // lives until the process ends
    return *table;
}

std::shared_ptr<Channel> Find(int32_t number) {
    ChannelTable& table = Table();
    ErrorKeepingLock<std::mutex> guard(table.lock);
    auto it = table.open.find(number);
    return it == table.open.end() ? nullptr : it->second;
}

// The open channel, or null with error 52.
std::shared_ptr<Channel> FindOrFail(int32_t number) {
    std::shared_ptr<Channel> channel = Find(number);
    if (!channel) SetChannelError(kChannelBadFileNameOrNumber);
    return channel;
}

// Sets the port's time-outs for the life of the object and puts the old ones back after.
class TemporaryTimeouts {
public:
    TemporaryTimeouts(PortIo& port, bool forRead) : port_(port) {
        if (!port_.GetTimeouts(saved_)) return;
        COMMTIMEOUTS t = saved_;
        if (forRead) {
            // Return at once with whatever is there.
            t.ReadIntervalTimeout = MAXDWORD;
            t.ReadTotalTimeoutMultiplier = 0;
            t.ReadTotalTimeoutConstant = 0;
        } else if (t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0) {
            // No write limit of the port's own: 100 ms a byte covers 110 baud.
            t.WriteTotalTimeoutMultiplier = 100;
            t.WriteTotalTimeoutConstant = 5000;
        } else {
            return;
        }
        changed_ = port_.SetTimeouts(t);
    }
    ~TemporaryTimeouts() {
        if (changed_) port_.SetTimeouts(saved_);
    }
    TemporaryTimeouts(const TemporaryTimeouts&) = delete;
    TemporaryTimeouts& operator=(const TemporaryTimeouts&) = delete;

private:
    PortIo& port_;
    COMMTIMEOUTS saved_{};
    bool changed_ = false;
};

// Bytes in the port's input queue; -1 with error 57 when the query fails or the queue
// reports one of the error flags that make its count unreliable.
int64_t InputQueueCount(PortIo& port) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!port.ClearError(errors, status) || (errors & kBytesWaitingErrorFlags)) {
        SetChannelError(kChannelDeviceIoError);
        return -1;
    }
    return status.cbInQue;
}

// Moves the bytes waiting at the port into the read-ahead buffer, as far as it has room.
// Call with channel.io held.
void FillReadAhead(Channel& channel) {
    if (channel.readAhead.size() >= kReadAheadLimit) return;  // the rest waits in the driver's queue
    const int64_t waiting = InputQueueCount(*channel.port);
    const DWORD want = static_cast<DWORD>(ReadAheadRoom(channel.readAhead.size(), waiting));
    if (want == 0) return;
    std::string buffer(want, '\0');
    DWORD got = 0;
    TemporaryTimeouts immediate(*channel.port, true);
    if (!channel.port->Read(buffer.data(), want, got)) got = 0;
    channel.readAhead.append(buffer.data(), got < want ? got : want);
}

}  // namespace

std::size_t ReadAheadRoom(std::size_t buffered, int64_t queued) {
    if (queued <= 0 || buffered >= kReadAheadLimit) return 0;
    const std::size_t room = kReadAheadLimit - buffered;
    return static_cast<uint64_t>(queued) < room ? static_cast<std::size_t>(queued) : room;
}

int32_t BytesWaitingCount(int64_t queued, std::size_t buffered) {
    constexpr int64_t kMost = std::numeric_limits<int32_t>::max();
    if (queued < 0) queued = 0;
    const int64_t extra = buffered < static_cast<uint64_t>(kMost) ? static_cast<int64_t>(buffered) : kMost;
    return static_cast<int32_t>(std::min(queued, kMost - extra) + extra);
}

int32_t AdvanceChannelNumber(int32_t last, const std::function<bool(int32_t)>& isOpen) {
    int32_t candidate = (last < kFirstChannel || last > kLastChannel) ? kLastChannel : last;
    for (int32_t tries = 0; tries < kLastChannel; ++tries) {
        candidate = candidate >= kLastChannel ? kFirstChannel : candidate + 1;
        if (!isOpen(candidate)) return candidate;
    }
    return 0;
}

int32_t NextChannelNumber() {
    ChannelTable& table = Table();
    ErrorKeepingLock<std::mutex> guard(table.lock);
    const int32_t number =
        AdvanceChannelNumber(table.counter, [&](int32_t n) { return table.open.count(n) != 0; });
    if (number == 0) {
        SetChannelError(kChannelTooManyFiles);
        return 0;
    }
    table.counter = number;
    return number;
}

bool OpenChannel(int32_t number, std::string_view devicePath) {
    if (number < kFirstChannel || number > kLastChannel) {
        SetChannelError(kChannelBadFileNameOrNumber);
        return false;
    }
    if (Find(number)) {
        SetChannelError(kChannelFileIsOpen);
        return false;
    }

    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof(security);
    security.bInheritHandle = FALSE;  // a child process must not keep the port held
    const std::string path(devicePath);
    UniqueHandle handle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &security, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        const DWORD reason = GetLastError();
        handle.release();  // INVALID_HANDLE_VALUE: nothing to close
        SetChannelError(kChannelCommError);
        SetLastError(reason);
        return false;
    }
    SetLastError(0);
    const DWORD type = GetFileType(handle.get());
    if (type == FILE_TYPE_DISK || type == FILE_TYPE_UNKNOWN) {
        // A disk file, or a name whose device is gone: not a port.
        const DWORD reason = type == FILE_TYPE_UNKNOWN ? GetLastError() : 0;
        handle.reset();
        SetChannelError(kChannelCommError);
        SetLastError(reason);
        return false;
    }
    return OpenChannelOn(number, devicePath, std::make_unique<SystemPort>(std::move(handle)));
}

bool OpenChannelOn(int32_t number, std::string_view devicePath, std::unique_ptr<PortIo> port) {
    if (number < kFirstChannel || number > kLastChannel || !port) {
        SetChannelError(kChannelBadFileNameOrNumber);
        return false;
    }
    auto channel = std::make_shared<Channel>();
    channel->devicePath = std::string(devicePath);
    channel->port = std::move(port);
    ChannelTable& table = Table();
    ErrorKeepingLock<std::mutex> guard(table.lock);
    if (!table.open.emplace(number, std::move(channel)).second) {
        // Opened meanwhile by another thread; this port closes as it goes.
        SetChannelError(kChannelFileIsOpen);
        return false;
    }
    return true;
}

bool CloseChannel(int32_t number) {
    std::shared_ptr<Channel> closing;
    {
        ChannelTable& table = Table();
        ErrorKeepingLock<std::mutex> guard(table.lock);
        auto it = table.open.find(number);
        if (it == table.open.end()) {
            SetChannelError(kChannelBadFileNameOrNumber);
            return false;
        }
        closing = std::move(it->second);
        table.open.erase(it);
    }
    // The handle closes here, or when the last operation still using it ends.
    return true;
}

bool IsChannelOpen(int32_t number) { return Find(number) != nullptr; }

HANDLE ChannelNativeHandle(int32_t number) {
    std::shared_ptr<Channel> channel = Find(number);
    return channel ? channel->port->Native() : nullptr;
}

int32_t ChannelOfNativeHandle(HANDLE handle) {
    if (!handle) return 0;
    ChannelTable& table = Table();
    ErrorKeepingLock<std::mutex> guard(table.lock);
    for (const auto& entry : table.open)
        if (entry.second->port->Native() == handle) return entry.first;
    return 0;
}

std::string ChannelDevicePath(int32_t number) {
    std::shared_ptr<Channel> channel = Find(number);
    return channel ? channel->devicePath : std::string();
}

std::size_t OpenChannelCount() {
    ChannelTable& table = Table();
    ErrorKeepingLock<std::mutex> guard(table.lock);
    return table.open.size();
}

bool SetChannelProperty(int32_t number, ChannelProperty property, int32_t value) {
    std::shared_ptr<Channel> channel = FindOrFail(number);
    if (!channel) return false;
    ErrorKeepingLock<std::mutex> io(channel->io);
    PortIo& port = *channel->port;

    if (property == ChannelProperty::kInputQueue || property == ChannelProperty::kOutputQueue) {
        COMMPROP props{};
        props.wPacketLength = sizeof(props);
        if (!port.GetProperties(props)) {
            SetChannelError(kChannelIllegalFunctionCall);
            return false;
        }
        DWORD input = props.dwCurrentRxQueue;
        DWORD output = props.dwCurrentTxQueue;
        (property == ChannelProperty::kInputQueue ? input : output) = static_cast<DWORD>(value);
        if (!port.SetQueues(input, output)) {
            SetChannelError(kChannelIllegalFunctionCall);
            return false;
        }
        return true;
    }

    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!port.GetState(dcb) || !ChangeControlBlock(dcb, property, value) || !port.SetState(dcb)) {
        SetChannelError(kChannelIllegalFunctionCall);
        return false;
    }
    return true;
}

int32_t QueryChannelProperty(int32_t number, ChannelProperty property) {
    std::shared_ptr<Channel> channel = FindOrFail(number);
    if (!channel) return 0;
    ErrorKeepingLock<std::mutex> io(channel->io);
    PortIo& port = *channel->port;

    switch (property) {
    case ChannelProperty::kInputQueue:
    case ChannelProperty::kOutputQueue: {
        COMMPROP props{};
        props.wPacketLength = sizeof(props);
        if (!port.GetProperties(props)) break;
        return static_cast<int32_t>(property == ChannelProperty::kInputQueue ? props.dwCurrentRxQueue
                                                                             : props.dwCurrentTxQueue);
    }
    case ChannelProperty::kRing:
    case ChannelProperty::kCarrier: {
        DWORD lines = 0;
        if (!port.GetModemStatus(lines)) break;
        return YesNo((lines & (property == ChannelProperty::kRing ? MS_RING_ON : MS_RLSD_ON)) != 0);
    }
    case ChannelProperty::kBytesWaiting: {
        const int64_t waiting = InputQueueCount(port);
        if (waiting < 0) return 0;
        return BytesWaitingCount(waiting, channel->readAhead.size());
    }
    default: {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        int32_t value = 0;
        if (!port.GetState(dcb) || !ReadControlBlock(dcb, property, &value)) break;
        return value;
    }
    }
    SetChannelError(kChannelDeviceIoError);
    return 0;
}

bool SendOnChannel(int32_t number, std::string_view text) {
    std::shared_ptr<Channel> channel = FindOrFail(number);
    if (!channel) return false;
    if (text.empty()) return true;
    ErrorKeepingLock<std::mutex> io(channel->io);
    TemporaryTimeouts bounded(*channel->port, false);
    DWORD written = 0;
    const bool ok = channel->port->Write(text.data(), static_cast<DWORD>(text.size()), written);
    if (!ok || written < text.size()) {
        SetChannelError(kChannelCommError);
        return false;
    }
    return true;
}

std::string ReceiveFromChannel(int32_t number, std::size_t maxBytes) {
    std::shared_ptr<Channel> channel = FindOrFail(number);
    if (!channel) return std::string();
    ErrorKeepingLock<std::mutex> io(channel->io);
    FillReadAhead(*channel);

    std::string& pending = channel->readAhead;
    std::size_t take = pending.size() < maxBytes ? pending.size() : maxBytes;
    std::size_t used = take;
    const std::size_t nul = pending.find('\0');
    if (nul != std::string::npos && nul < take) {
        take = nul;
        used = nul + 1;  // a NUL cannot be held by a text; it ends this piece
    }
    std::string piece = pending.substr(0, take);
    pending.erase(0, used);
    return piece;
}

}  // namespace kestrune
