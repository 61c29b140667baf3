#include "app/window/row_colours.h"

#include <string>

#include "app/common/identity_view.h"
#include "support/fixed_text.h"

namespace kestrune {

namespace {

constexpr COLORREF kSeparatorText = 0x238E6B;
constexpr COLORREF kSeparatorBack = 0xFF0000;
constexpr COLORREF kInUseText = 0x00FFFF;
constexpr COLORREF kAvailableText = 0x00FF00;
constexpr COLORREF kDisconnectedText = 0x0000FF;
constexpr COLORREF kRowBack = 0x000000;

}  // namespace

bool IsSeparatorSubItem(int subItem) {
    switch (subItem) {
        case 6: case 9: case 13: case 18: case 26: case 41: return true;
        case kFirstIdentityColumn - 1: return true;  // the identity columns' divider
        default: return false;
    }
}

CustomDrawAnswer DecideCustomDraw(DWORD drawStage, int subItem, std::optional<std::string_view> status) {
    CustomDrawAnswer answer;
    if (drawStage == CDDS_PREPAINT || drawStage == CDDS_ITEMPREPAINT) {
        answer.result = CDRF_NOTIFYSUBITEMDRAW;
        return answer;
    }
    if (drawStage != (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) return answer;
    answer.result = CDRF_NEWFONT;
    if (IsSeparatorSubItem(subItem)) {
        answer.text = kSeparatorText;
        answer.background = kSeparatorBack;
        return answer;
    }
    if (status) {
        const std::string upper = UpperAnsi(*status);
        if (upper == "IN-USE") answer.text = kInUseText;
        else if (upper == "AVAILABLE") answer.text = kAvailableText;
        else if (upper == "DISCONNECTED") answer.text = kDisconnectedText;
    }
    answer.background = kRowBack;
    return answer;
}

LRESULT ResultListCustomDraw(NMLVCUSTOMDRAW& draw, const PortRecord* record) {
    std::optional<std::string_view> status;
    if (record) status = Text(record->Status);
    const CustomDrawAnswer answer = DecideCustomDraw(draw.nmcd.dwDrawStage, draw.iSubItem, status);
    if (answer.text) draw.clrText = *answer.text;
    if (answer.background) draw.clrTextBk = *answer.background;
    return answer.result;
}

}  // namespace kestrune
