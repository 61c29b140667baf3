#pragma once
// Reading the real controls back in-process, as the list view and status bar report them.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/window/main_dialog.h"

namespace kestrune_test {

inline HWND ResultList(HWND dialog) { return GetDlgItem(dialog, kestrune::kResultsListId); }
inline HWND StatusBar(HWND dialog) { return GetDlgItem(dialog, kestrune::kStatusBarId); }

inline int RowCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

inline int ColumnCount(HWND list) {
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    return static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
}

// column is numbered from 1, as the program addresses it.
inline std::string CellText(HWND list, int row, int column) {
    char buffer[512] = {};
    LVITEMA item{};
    item.iSubItem = column - 1;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

inline std::string HeaderText(HWND list, int column) {
    char buffer[256] = {};
    LVCOLUMNA info{};
    info.mask = LVCF_TEXT;
    info.pszText = buffer;
    info.cchTextMax = sizeof buffer;
    SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column - 1), reinterpret_cast<LPARAM>(&info));
    return buffer;
}

inline int ColumnPixels(HWND list, int column) {
    return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column - 1), 0));
}

inline std::string StatusText(HWND bar, int part) {
    char buffer[512] = {};
    SendMessageA(bar, SB_GETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

inline std::string Title(HWND window) {
    char buffer[260] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

}  // namespace kestrune_test
