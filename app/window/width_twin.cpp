#include "app/window/width_twin.h"

#include <commctrl.h>

#include "app/window/list_control.h"
#include "record/port_record.h"

namespace kestrune {

namespace {

constexpr char kWidthTwinProperty[] = "KestruneWidthTwin";

}  // namespace

WidestTexts::WidestTexts(HWND list)
    : list_(list), dc_(GetDC(list)), texts_(kResultColumnCount + 1), widths_(kResultColumnCount + 1, -1),
      seen_(kResultColumnCount + 1) {
    if (dc_) oldFont_ = SelectObject(dc_, reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)));
}

WidestTexts::~WidestTexts() {
    if (!dc_) return;
    if (oldFont_) SelectObject(dc_, oldFont_);
    ReleaseDC(list_, dc_);
}

void WidestTexts::Offer(int column, std::string_view text) {
    if (!dc_ || !seen_[static_cast<size_t>(column)].insert(text).second) return;
    SIZE size{};
    GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &size);
    if (size.cx > widths_[static_cast<size_t>(column)]) {
        widths_[static_cast<size_t>(column)] = size.cx;
        texts_[static_cast<size_t>(column)] = std::string(text);
    }
}

HWND MakeWidthTwin(HWND list) {
    RECT rect{};
    GetWindowRect(list, &rect);
    // The twin holds its one row itself.
    const DWORD style =
        (static_cast<DWORD>(GetWindowLongA(list, GWL_STYLE)) & ~(WS_VISIBLE | WS_CHILD | LVS_OWNERDATA)) | WS_POPUP;
    HWND twin = CreateWindowExA(WS_EX_TOOLWINDOW, WC_LISTVIEWA, "", style, 0, 0, rect.right - rect.left,
                                rect.bottom - rect.top, GetParent(list), nullptr,
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(list, GWLP_HINSTANCE)), nullptr);
    if (!twin) return nullptr;
    // Never shown: no layout or painting work for its changes.
    SendMessageA(twin, WM_SETREDRAW, FALSE, 0);
    SendMessageA(twin, WM_SETFONT, SendMessageA(list, WM_GETFONT, 0, 0), FALSE);
    SendMessageA(twin, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    InsertEmptyColumns(twin, kResultColumnCount);
    InsertEmptyRow(twin, 0);
    // The first measurement sets up the list's text measuring: do it now, not in a refresh.
    SendMessageA(twin, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
    SetPropA(list, kWidthTwinProperty, twin);
    return twin;
}

WidthTwin::WidthTwin(HWND list, const WidestTexts& widest) {
    twin_ = static_cast<HWND>(GetPropA(list, kWidthTwinProperty));
    if (twin_ && !IsWindow(twin_)) twin_ = nullptr;
    if (!twin_) twin_ = MakeWidthTwin(list);
    if (!twin_) return;
    for (int column = 1; column <= kResultColumnCount; ++column) {
        char header[kTextSize] = {};
        LVCOLUMNA heading{};
        heading.mask = LVCF_TEXT;
        heading.pszText = header;
        heading.cchTextMax = sizeof header;
        SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column - 1), reinterpret_cast<LPARAM>(&heading));
        heading.pszText = header;
        SendMessageA(twin_, LVM_SETCOLUMNA, static_cast<WPARAM>(column - 1), reinterpret_cast<LPARAM>(&heading));
        SetCell(twin_, 0, column, widest.Widest(column));
    }
}

int WidthTwin::Width(int column, ColumnWidth width) const {
    SendMessageA(twin_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column - 1), static_cast<LPARAM>(static_cast<int>(width)));
    return static_cast<int>(SendMessageA(twin_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column - 1), 0));
}

}  // namespace kestrune
