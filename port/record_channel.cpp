#include "port/record_channel.h"

#include <string>

#include "port/channel.h"
#include "port/channel_errors.h"
#include "port/error_capture.h"
#include "port/port_naming.h"
#include "port/record_handles.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {
namespace {

constexpr int32_t kColourSent = 0x00FFFF00;
constexpr int32_t kColourReceived = 0x0000FFFF;
constexpr std::size_t kTextCapacity = kTextSize - 1;

void MarkTerminal(PortRecord& record, int32_t colour) {
    if (record.HwndTerminal == 0) return;
    record.ColorText = colour;
    record.ColorTextBackGround = 0;
}

}  // namespace

void RefreshChannelState(PortRecord& record) {
    const bool open = record.RtHandle != 0 && IsChannelOpen(record.RtHandle);
    record.State = open ? 0 : 1;
    SetText(record.StateDescription, open ? "%SerialPortOpen" : "%SerialPortClosed");
}

bool CheckChannelState(PortRecord& record) {
    RefreshChannelState(record);
    return record.State == 0;
}

int32_t OpenRecordChannel(PortRecord& record) {
    if (TextEmpty(record.PortName)) {
        const ChannelPortChoice choice = ChooseChannelPort("", record.Number);
        record.Number = choice.number;
        SetText(record.PortName, choice.portName);
    }
    if (record.RtHandle == 0) record.RtHandle = NextChannelNumber();

    SetLastError(0);  // so the capture sees only what this open caused
    bool opened = false;
    if (record.RtHandle != 0) opened = OpenChannel(record.RtHandle, ChannelDevicePathFor(Text(record.PortName)));

    if (record.RtHandle == 0 || !IsChannelOpen(record.RtHandle)) {
        CaptureErrors(record);
        return record.RtError;
    }
    // Open now. When it was open before this call (55) the record is told so, and it
    // names that channel's handle.
    if (!opened) CaptureErrors(record);
    record.WinHandle = HandleToField(ChannelNativeHandle(record.RtHandle));
    RefreshChannelState(record);
    return ChannelError();
}

int32_t ReadRecordChannelState(PortRecord& record) {
    RefreshChannelState(record);
    return 0;
}

// What a caller asking a channel for its name expects: the port it is open on. A record
// whose channel is not open keeps its PortName.
int32_t NameRecordChannelPort(PortRecord& record) {
    if (record.RtHandle != 0 && IsChannelOpen(record.RtHandle)) {
        const std::string path = ChannelDevicePath(record.RtHandle);
        if (!path.empty()) SetText(record.PortName, PortNameOfDevicePath(path));
    }
    return 0;
}

int32_t SendOnRecordChannel(PortRecord& record) {
    if (!CheckChannelState(record)) return 0;
    SendOnChannel(record.RtHandle, Text(record.XmitBuffer));
    MarkTerminal(record, kColourSent);
    return 0;
}

int32_t ReceiveOnRecordChannel(PortRecord& record) {
    if (!CheckChannelState(record)) return 0;
    SetText(record.RecBuffer, ReceiveFromChannel(record.RtHandle, kTextCapacity));
    MarkTerminal(record, kColourReceived);
    return 0;
}

int32_t CloseRecordChannel(PortRecord& record) {
    const bool channelOpen = record.RtHandle != 0 && IsChannelOpen(record.RtHandle);
    const bool numberNotOpen = record.RtHandle != 0 && !channelOpen;
    const int32_t result =
        ApplyCloseStep(record, PlanCloseRt(channelOpen, ClassifyHandleField(record.WinHandle, record.RtHandle)));
    if (numberNotOpen && result == 0) SetChannelError(kChannelBadFileNameOrNumber);  // as closing it would
    RefreshChannelState(record);
    return result;
}

}  // namespace kestrune
