#pragma once
// Functions other programs call: C names, the standard Windows calling convention,
// exported from the executable (and the class library) under their plain names.
#include <windows.h>

#define KESTRUNE_API extern "C" __declspec(dllexport)
