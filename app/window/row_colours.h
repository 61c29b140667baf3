#pragma once
// The results list's colours: the column-group dividers, and each row's text coloured by its
// port's status on a black background. DecideCustomDraw is the decision over plain values;
// ResultListCustomDraw puts its answer into the list's custom-draw request.
#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string_view>

#include "record/port_record.h"

namespace kestrune {

// List-view subitems 6, 9, 13, 18, 26 and 41 divide the column groups; 46 comes before the
// identity columns.
bool IsSeparatorSubItem(int subItem);

struct CustomDrawAnswer {
    LRESULT result = CDRF_DODEFAULT;
    std::optional<COLORREF> text;
    std::optional<COLORREF> background;
};
// The answer for one custom-draw notification. status is the row's Status for a sub-item
// stage (nullopt when the row has no record).
CustomDrawAnswer DecideCustomDraw(DWORD drawStage, int subItem, std::optional<std::string_view> status);

// The dialog's answer to NM_CUSTOMDRAW from the list: colours set in place, result returned.
// record is the row's record, or null when the row has none.
LRESULT ResultListCustomDraw(NMLVCUSTOMDRAW& draw, const PortRecord* record);

}  // namespace kestrune
