#include "port/channel_errors.h"

namespace kestrune {
namespace {

struct ErrorText {
    int32_t number;
    const char* text;
};

const ErrorText kErrorTexts[] = {
    {0, "No Error"},
    {5, "Illegal function call"},
    {6, "Overflow"},
    {7, "Out of memory"},
    {9, "Subscript/Pointer out of range"},
    {11, "Division by zero"},
    {24, "Device timeout"},
    {51, "Internal error"},
    {52, "Bad file name or number"},
    {53, "File not found"},
    {54, "Bad file mode"},
    {55, "File is open"},
    {57, "Device I/O error"},
    {58, "File already exists"},
    {61, "Disk full"},
    {62, "Input past end"},
    {63, "Bad record number"},
    {64, "Bad file name"},
    {67, "Too many files"},
    {68, "Device unavailable"},
    {69, "Comm error"},
    {70, "Permission denied"},
    {71, "Disk not ready"},
    {72, "Disk media error"},
    {74, "Rename across disks"},
    {75, "Path/file access error"},
    {76, "Path not found"},
    {99, "Object error"},
    {241, "Global memory corrupt"},
    {242, "String space corrupt"},
};

thread_local int32_t t_callError = 0;

}  // namespace

std::string_view ChannelErrorText(int32_t number) {
    for (const ErrorText& entry : kErrorTexts)
        if (entry.number == number) return entry.text;
    return "Unknown error";
}

int32_t ChannelError() { return t_callError; }
void SetChannelError(int32_t number) { t_callError = number; }
void ResetChannelError() { t_callError = 0; }

}  // namespace kestrune
