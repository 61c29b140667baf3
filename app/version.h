#pragma once
// The program's version, shared by the version resource and the code.
#define KESTRUNE_VERSION_MAJOR 1
#define KESTRUNE_VERSION_MINOR 0
#define KESTRUNE_VERSION_PATCH 0
#define KESTRUNE_VERSION_BUILD 0
#define KESTRUNE_VERSION_TEXT "1.0.0.0"
#define KESTRUNE_PRODUCT_NAME "Kestrune"
#define KESTRUNE_COMPANY_NAME "Kestrune Project"
#define KESTRUNE_COPYRIGHT "Copyright (C) 2024 Kestrune Project"
