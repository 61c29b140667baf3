#pragma once
// The results list's columns as plain values: how many there are, the width actions a column
// can take, and the cell and header writes a row asks for. The window writes them to its list
// view; the identity columns (app/common/identity_view.h) are described with them.
#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>

namespace kestrune {

// The designed columns, then the port identity's trailing columns (app/common/identity_view.h).
constexpr int kDesignedColumnCount = 46;
constexpr int kIdentityColumnCount = 4;
constexpr int kResultColumnCount = kDesignedColumnCount + kIdentityColumnCount;

// Width actions on a column (the values LVM_SETCOLUMNWIDTH takes).
enum class ColumnWidth : int {
    kUnchanged = 0,
    kAutosizeContent = LVSCW_AUTOSIZE,           // -1
    kAutosizeWithHeader = LVSCW_AUTOSIZE_USEHEADER,  // -2
};

struct CellWrite {
    int column;  // 1..46
    std::string text;
    ColumnWidth width;  // kUnchanged or kAutosizeContent, applied after the cell
};

struct HeaderStep {
    int column;                       // 1..46
    std::optional<std::string> text;  // header text to set, if any
    ColumnWidth width;
};

}  // namespace kestrune
