#include "app/window/list_control.h"

#include <commctrl.h>

namespace kestrune {

void InsertEmptyColumns(HWND list, int count) {
    for (int index = 0; index < count; ++index) {
        LVCOLUMNA column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = LVCFMT_CENTER;
        column.cx = -1;
        column.pszText = const_cast<char*>("");
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
    }
}

void InsertEmptyRow(HWND list, int row) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.pszText = const_cast<char*>("");
    item.iImage = 0;
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void SetCell(HWND list, int row, int column, const std::string& text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column - 1;
    item.pszText = const_cast<char*>(text.c_str());
    SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void SetColumnWidth(HWND list, int column, ColumnWidth width) {
    if (width == ColumnWidth::kUnchanged) return;
    SendMessageA(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column - 1),
                 static_cast<LPARAM>(static_cast<int>(width)));
}

HeldDrawing::HeldDrawing(HWND list) : list_(list) { SendMessageA(list_, WM_SETREDRAW, FALSE, 0); }

HeldDrawing::~HeldDrawing() {
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

}  // namespace kestrune
