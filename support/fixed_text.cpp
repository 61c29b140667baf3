#include "support/fixed_text.h"

#include <windows.h>

namespace kestrune {

std::string UpperAnsi(std::string_view text) {
    std::string upper(text);
    if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
}

}  // namespace kestrune
