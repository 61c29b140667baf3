#include "port/error_capture.h"

#include <windows.h>

#include "port/channel_errors.h"
#include "support/fixed_text.h"

namespace kestrune {

AppErrorSource ChooseAppError(int32_t rtError, uint32_t winError) {
    if (rtError != 0 && winError == 0) return AppErrorSource::kChannel;
    if (rtError == 0 && winError != 0) return AppErrorSource::kSystem;
    return AppErrorSource::kKeep;
}

void CaptureErrors(PortRecord& record) {
    const DWORD winError = GetLastError();
    record.WinError = winError;
    // Inserts are left as they stand: without arguments a message with inserts would
    // otherwise be read from arguments that do not exist. The buffer is larger than the
    // field so a long message is cut rather than refused.
    char message[1024];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        winError, 0, message, sizeof(message), nullptr);
    SetText(record.WinErrorDescription, std::string_view(message, length));

    record.RtError = ChannelError();
    SetText(record.RtErrorDescription, ChannelErrorText(record.RtError));

    switch (ChooseAppError(record.RtError, record.WinError)) {
    case AppErrorSource::kChannel:
        record.AppError = record.RtError;
        SetText(record.AppErrorDescription, Text(record.RtErrorDescription));
        break;
    case AppErrorSource::kSystem:
        record.AppError = static_cast<int32_t>(record.WinError);
        SetText(record.AppErrorDescription, Text(record.WinErrorDescription));
        break;
    case AppErrorSource::kKeep:
        break;
    }
}

}  // namespace kestrune
