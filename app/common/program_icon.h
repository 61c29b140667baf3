#pragma once
// The programs' icon: resource ICON 1 of Kestrune.exe and kestrune-scan.exe (app/icon.rc). The
// lowest icon identifier is the one Explorer, the Start menu and the installer show. Plain
// preprocessor text, so the resource compiler reads this file too.
#define KESTRUNE_PROGRAM_ICON 1
