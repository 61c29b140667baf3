#pragma once
// The program's version, shared by the version resource and the code. The numbers come from
// the project version in CMakeLists.txt; the packages and the JSON output carry the same.
#include "support/version_number.h"
#define KESTRUNE_VERSION_BUILD 0
#define KESTRUNE_PRODUCT_NAME "Kestrune"
#define KESTRUNE_COMPANY_NAME "Kestrune Project"
#define KESTRUNE_COPYRIGHT "Copyright (C) 2024 Kestrune Project"
