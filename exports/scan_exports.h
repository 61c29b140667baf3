#pragma once
// The exported scan and the scan's exported per-port steps.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>

#include "record/port_record.h"
#include "support/export.h"

// Exported scan. *ports (an array the caller owns, or null) is destroyed and replaced by a
// new one-dimensional array, bounds 0..n-1, of 7528-byte records. Returns 0; 9 when ports
// is null, 7 ("Out of memory") when the array cannot be made.
KESTRUNE_API int32_t WINAPI SerialPort_Enum(SAFEARRAY** ports, uint32_t* statusWindow);

// DeviceType from sObjName by the table; unchanged when nothing matches. Returns 0; 9 for
// a null record.
KESTRUNE_API int32_t WINAPI SerialPort_Get_Type(kestrune::PortRecord* record);

// ProgramFolder and ProgramName from ProgramPath; ProgramVersion when the program has
// version information (unchanged otherwise). Returns 0; 9 for a null record.
KESTRUNE_API int32_t WINAPI SerialPort_Get_Program(kestrune::PortRecord* record);

// Sets FlowControlBits from the port's configuration; all fourteen flags 0 when the
// configuration cannot be read. CommConfig is not touched. Returns 0; 9 for a null record.
KESTRUNE_API int32_t WINAPI SerialPort_Get_FlowControl(kestrune::PortRecord* record);
