/* A C program that uses Kestrune.dll the way another program would: LoadLibrary, functions
   looked up with GetProcAddress, records laid out from kestrune.h. It scans, opens and
   closes the first available port as a channel, and gathers the system information.
   usage: kestrune_client <path of Kestrune.dll>; exit code 0 when every step gave what it
   should. */
#include <stdio.h>
#include <string.h>

#include "kestrune.h"

typedef int32_t(WINAPI* EnumFunction)(SAFEARRAY**, uint32_t*);
typedef int32_t(WINAPI* RecordFunction)(PortRecord*);
typedef int32_t(WINAPI* InfoFunction)(OsInfoRecord*);

static int failures = 0;

static void Check(int ok, const char* what) {
    printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok) ++failures;
}

int main(int argc, char** argv) {
    HMODULE library = LoadLibraryA(argc > 1 ? argv[1] : "Kestrune.dll");
    Check(library != NULL, "Kestrune.dll loads");
    if (!library) return 1;
    EnumFunction enumPorts = (EnumFunction)(void*)GetProcAddress(library, "SerialPort_Enum");
    RecordFunction openRt = (RecordFunction)(void*)GetProcAddress(library, "SerialPort_Open_Rt");
    RecordFunction closeRt = (RecordFunction)(void*)GetProcAddress(library, "SerialPort_Close_Rt");
    InfoFunction gather = (InfoFunction)(void*)GetProcAddress(library, "GatherOpSysInfo");
    Check(enumPorts && openRt && closeRt && gather, "the four functions are exported");
    if (!enumPorts || !openRt || !closeRt || !gather) return 1;

    SAFEARRAY* ports = NULL;
    Check(enumPorts(&ports, NULL) == 0 && ports != NULL, "SerialPort_Enum returns 0 and an array");
    if (!ports) return 1;
    Check(SafeArrayGetElemsize(ports) == sizeof(PortRecord), "elements are 7528-byte records");
    PortRecord* records = NULL;
    SafeArrayAccessData(ports, (void**)&records);
    LONG count = (LONG)ports->rgsabound[0].cElements;
    printf("ports: %ld\n", (long)count);
    const PortRecord* available = NULL;
    for (LONG k = 0; k < count; ++k) {
        printf("%s\t%s\t%ld\n", records[k].PortName, records[k].Status, (long)records[k].Baud);
        if (records[k].UBOUND != count - 1) Check(0, "UBOUND of every record");
        if (!available && strcmp(records[k].Status, "Available") == 0) available = &records[k];
    }
    Check(available != NULL, "an available port");
    if (available) {
        PortRecord port;
        memset(&port, 0, sizeof port);
        strcpy(port.PortName, available->PortName);
        Check(openRt(&port) == 0 && port.State == 0 && port.RtHandle != 0, "SerialPort_Open_Rt opens it");
        Check(closeRt(&port) == 0 && port.State == 1 && port.RtHandle == 0, "SerialPort_Close_Rt closes it");
    }
    SafeArrayUnaccessData(ports);
    SafeArrayDestroy(ports);

    static OsInfoRecord info;
    Check(gather(&info) == 0 && info.OsString[0] != '\0' && info.dwOSVersionInfoSize == 148,
          "GatherOpSysInfo fills the record");
    printf("system: %s, program: %s\n", info.OsString, info.ProgramName);
    Check(closeRt(NULL) == 9, "a null record gives 9");
    FreeLibrary(library);
    return failures == 0 ? 0 : 1;
}
