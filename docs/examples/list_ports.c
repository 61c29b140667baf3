/* Lists the machine's serial ports through Kestrune.dll, linked with its import library:
     gcc list_ports.c -I<folder of kestrune.h> <folder>/Kestrune.lib -loleaut32 -o list_ports.exe
   Kestrune.dll must lie beside the program (or on the search path). */
#include <stdio.h>

#include "kestrune.h"

int main(void) {
    SAFEARRAY* ports = NULL;
    if (SerialPort_Enum(&ports, NULL) != 0) return 1;
    PortRecord* records = NULL;
    SafeArrayAccessData(ports, (void**)&records);
    for (ULONG k = 0; k < ports->rgsabound[0].cElements; ++k)
        printf("%s\t%s\t%s\n", records[k].PortName, records[k].Status, records[k].ProgramName);
    SafeArrayUnaccessData(ports);
    SafeArrayDestroy(ports);
    return 0;
}
