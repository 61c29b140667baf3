#include "port/comm_properties.h"

namespace kestrune {

bool ChangeControlBlock(DCB& dcb, ChannelProperty property, int32_t value) {
    const bool on = value != 0;
    const BYTE low = static_cast<BYTE>(value & 0xFF);
    switch (property) {
    case ChannelProperty::kBaud:
        dcb.BaudRate = static_cast<DWORD>(value);
        return true;
    case ChannelProperty::kDataBits:
        dcb.ByteSize = low;
        if (value == 5 && dcb.StopBits == TWOSTOPBITS) dcb.StopBits = ONE5STOPBITS;
        if (value > 5) dcb.StopBits = ONESTOPBIT;
        if (value >= 8) {
            dcb.fParity = 0;
            dcb.Parity = NOPARITY;
        }
        return true;
    case ChannelProperty::kCtsOutputFlow:
        dcb.fOutxCtsFlow = on;
        return true;
    case ChannelProperty::kDsrOutputFlow:
        dcb.fOutxDsrFlow = on;
        return true;
    case ChannelProperty::kDsrSensitivity:
        dcb.fDsrSensitivity = on;
        return true;
    case ChannelProperty::kDtrHandshake:
        dcb.fDtrControl = on ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
        return true;
    case ChannelProperty::kDtrLine:
        dcb.fDtrControl = on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        return true;
    case ChannelProperty::kRtsControl:
        dcb.fRtsControl = static_cast<DWORD>(value & 3);
        return true;
    case ChannelProperty::kDiscardNulls:
        dcb.fNull = on;
        return true;
    case ChannelProperty::kParityChecking:
        dcb.fParity = on;
        return true;
    case ChannelProperty::kReplacementChar:
        dcb.ErrorChar = static_cast<char>(low);
        return true;
    case ChannelProperty::kParityReplacement:
        dcb.fErrorChar = on;
        return true;
    case ChannelProperty::kParityScheme:
        dcb.Parity = low;
        return true;
    case ChannelProperty::kStopBits:
        dcb.StopBits = low;
        return true;
    default:
        return false;
    }
}

bool ReadControlBlock(const DCB& dcb, ChannelProperty property, int32_t* value) {
    switch (property) {
    case ChannelProperty::kBaud:
        *value = static_cast<int32_t>(dcb.BaudRate);
        return true;
    case ChannelProperty::kDataBits:
        *value = dcb.ByteSize;
        return true;
    case ChannelProperty::kParityChecking:
        *value = YesNo(dcb.fParity != 0);
        return true;
    case ChannelProperty::kReplacementChar:
        *value = static_cast<BYTE>(dcb.ErrorChar);
        return true;
    case ChannelProperty::kParityReplacement:
        *value = YesNo(dcb.fErrorChar != 0);
        return true;
    case ChannelProperty::kStopBits:
        *value = dcb.StopBits;
        return true;
    default:
        return false;
    }
}

int32_t StopBitCodeFromField(int64_t stored) {
    switch (stored) {
        case 0:
        case 10000: return ONESTOPBIT;
        case 15000: return ONE5STOPBITS;
        case 20000: return TWOSTOPBITS;
        default: return static_cast<int32_t>(stored / 10000);
    }
}

int64_t StopBitsFieldFromCode(int32_t code) { return static_cast<int64_t>(code) * 10000; }

}  // namespace kestrune
