#include "app/window/results_view.h"

#include <array>
#include <cstdio>
#include <optional>
#include <unordered_set>

#include "app/common/identity_view.h"
#include "app/window/main_dialog.h"
#include "app/window/refresh.h"
#include "app/common/shown_record.h"
#include "app/window/result_rows.h"
#include "support/fixed_text.h"
#include "support/number_text.h"

namespace kestrune {

namespace {

constexpr COLORREF kSeparatorText = 0x238E6B;
constexpr COLORREF kSeparatorBack = 0xFF0000;
constexpr COLORREF kInUseText = 0x00FFFF;
constexpr COLORREF kAvailableText = 0x00FF00;
constexpr COLORREF kDisconnectedText = 0x0000FF;
constexpr COLORREF kRowBack = 0x000000;

bool DiffersIgnoringCase(std::string_view a, std::string_view b) {
    return UpperAnsi(a) != UpperAnsi(b);
}

// The flow-control flag headers, columns 28 to 41 (bit 0 upward).
constexpr std::array<const char*, 14> kFlagHeaders = {
    "Binary", "Parity", "OutDtsFlow", "OutDsrFlow", "DtrCntrl", "DsrSense", "TxContOnXoff",
    "OutX",   "InX",    "ErrChar",    "NULL",       "RtsCntrl", "AbortOnErr", "Dummy2"};

// Headers of columns 28 to 46.
std::string LineHeader(int column) {
    if (column <= 41) return kFlagHeaders[static_cast<size_t>(column - 28)];
    switch (column) {
        case 43: return "DTR";
        case 44: return "DSR";
        case 45: return "RTS";
        case 46: return "CTS";
        default: return "";  // 42, the divider
    }
}

HWND ResultList(HWND dialog) { return GetDlgItem(dialog, kResultsListId); }

// Holds the list's drawing while many rows or columns change and repaints it once after:
// a visible list otherwise recomputes its scroll bars and repaints for every message.
class HeldDrawing {
public:
    explicit HeldDrawing(HWND list) : list_(list) { SendMessageA(list_, WM_SETREDRAW, FALSE, 0); }
    ~HeldDrawing() {
        SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }
    HeldDrawing(const HeldDrawing&) = delete;
    HeldDrawing& operator=(const HeldDrawing&) = delete;

private:
    HWND list_;
};

// A row with empty cells and image 0, as every row starts.
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

// Made with the list's columns; see below.
HWND MakeWidthTwin(HWND list);

}  // namespace

std::string Hex4(uint32_t value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04X", value & 0xFFFFu);
    return buffer;
}

std::string HandleCellText(uint32_t value) {
    return SignedDecimal(value) + " (&H" + Hex4(value) + ")";
}

std::optional<std::string> CableText(int32_t cableKind) {
    switch (cableKind) {
        case 0: return std::string("Cross-Over");
        case -1: return std::string("Unknown");
        case 1: return std::string("Pass-Through");
        default: return std::nullopt;
    }
}

bool OwnerTestHolds(const PortRecord& record, uint32_t ownProcessId) {
    return record.ProcessId != 0 && record.ProcessId != ownProcessId;
}

bool LineTestHolds(const PortRecord& record) {
    const std::string_view status = Text(record.Status);
    return !status.empty() && UpperAnsi(status) != "DISCONNECTED";
}

std::vector<CellWrite> ResultRowCells(const PortRecord& r, uint32_t ownProcessId) {
    using W = ColumnWidth;
    std::vector<CellWrite> cells;
    cells.reserve(kResultColumnCount);
    const bool hasPort = !TextEmpty(r.PortName);
    auto add = [&](int column, std::string text, W width) { cells.push_back({column, std::move(text), width}); };
    auto addText = [&](int column, std::string_view text) {
        if (!text.empty()) add(column, std::string(text), W::kAutosizeContent);
    };

    add(1, std::string(Text(r.PortName)), W::kUnchanged);
    if (r.Baud != 0 && hasPort) add(2, TrimmedDecimal(r.Baud), W::kAutosizeContent);
    if (!TextEmpty(r.ParityName) && hasPort) add(3, std::string(Text(r.ParityName)), W::kAutosizeContent);
    if (r.DataBits != 0 && hasPort) add(4, TrimmedDecimal(r.DataBits), W::kAutosizeContent);
    if (r.StopBits != 0 && hasPort) add(5, StopBitsText(r.StopBits), W::kAutosizeContent);
    add(6, std::string(Text(r.Status)), W::kAutosizeContent);
    add(7, "", W::kUnchanged);
    if (!TextEmpty(r.DeviceName) && DiffersIgnoringCase(Text(r.DeviceName), Text(r.PortName)))
        add(8, std::string(Text(r.DeviceName)), W::kAutosizeContent);
    addText(9, Text(r.DeviceType));
    add(10, "", W::kAutosizeContent);
    if (ShowsOwnerProgram(r, ownProcessId)) {
        addText(11, Text(r.ProgramFolder));
        addText(12, Text(r.ProgramName));
        addText(13, Text(r.ProgramVersion));
    }
    add(14, "", W::kAutosizeContent);
    if (auto cable = ShownCableText(r)) add(15, *cable, W::kAutosizeContent);
    addText(16, Text(r.AttachedDevice));
    addText(17, Text(r.AttachedVersion));
    addText(18, Text(r.AttachedDate));
    add(19, "", W::kAutosizeContent);
    const bool owner = OwnerTestHolds(r, ownProcessId);
    if (owner) {
        add(20, SignedDecimal(r.ProcessId), W::kAutosizeContent);
        add(21, HandleCellText(r.ObjHandle), W::kAutosizeContent);
        add(22, HandleCellText(r.ObjAddress), W::kAutosizeContent);
    }
    add(23, "", W::kAutosizeContent);
    if (owner) {
        add(24, SignedDecimal(r.DupProcessID), W::kAutosizeContent);
        add(25, HandleCellText(r.DupObjHandle), W::kAutosizeContent);
        add(26, HandleCellText(r.DupObjAddress), W::kAutosizeContent);
        add(27, "", W::kAutosizeContent);
    }
    if (LineTestHolds(r)) {
        for (int bit = 0; bit < 14; ++bit)
            add(28 + bit, SignedDecimal((r.FlowControlBits >> bit) & 1u), W::kUnchanged);
        add(42, "", W::kUnchanged);
        if (r.DtrCommand == 5) add(43, "%SETDTR", W::kUnchanged);
        if (r.DtrCommand == 6) add(43, "%CLRDTR", W::kUnchanged);
        add(44, r.DataSendReady != 0 ? "%ON" : "%OFF", W::kUnchanged);
        if (r.RtsCommand == 3) add(45, "%SETRTS", W::kUnchanged);
        if (r.RtsCommand == 4) add(45, "%CLRRTS", W::kUnchanged);
        add(46, r.ClearToSend != 0 ? "%ON" : "%OFF", W::kUnchanged);
    }
    for (CellWrite& cell : IdentityRowCells(ShownIdentity(r))) cells.push_back(std::move(cell));
    return cells;
}

std::vector<HeaderStep> ResultHeaderSteps(const PortRecord& r, uint32_t ownProcessId) {
    using W = ColumnWidth;
    std::vector<HeaderStep> steps;
    auto add = [&](int column, std::optional<std::string> text, W width) {
        steps.push_back({column, std::move(text), width});
    };
    const bool hasPort = !TextEmpty(r.PortName);
    if (hasPort) add(1, "Port", W::kAutosizeWithHeader);
    if (r.Baud != 0 && hasPort) add(2, "Baud", W::kAutosizeWithHeader);
    if (!TextEmpty(r.ParityName) && hasPort) add(3, "Parity", W::kAutosizeWithHeader);
    if (r.DataBits != 0 && hasPort) add(4, "Data", W::kAutosizeWithHeader);
    if (r.StopBits != 0 && hasPort) add(5, "Stop", W::kAutosizeWithHeader);
    if (!TextEmpty(r.Status) || hasPort) add(6, "Status", W::kAutosizeWithHeader);
    add(7, "", W::kAutosizeWithHeader);
    if (!TextEmpty(r.DeviceName) && Text(r.DeviceName) != Text(r.PortName))
        add(8, "Real Name", W::kAutosizeWithHeader);
    if (!TextEmpty(r.DeviceType)) add(9, "Type", W::kAutosizeWithHeader);
    add(10, "", W::kUnchanged);
    if (ShowsOwnerProgram(r, ownProcessId)) {
        if (!TextEmpty(r.ProgramFolder)) add(11, "Path", W::kAutosizeWithHeader);
        if (!TextEmpty(r.ProgramName)) add(12, "Name", W::kAutosizeWithHeader);
        if (!TextEmpty(r.ProgramVersion)) add(13, "Version", W::kAutosizeWithHeader);
    }
    add(14, "", W::kAutosizeWithHeader);
    if (ShownCableText(r)) add(15, "Cable", W::kAutosizeContent);
    if (!TextEmpty(r.DeviceName) && DiffersIgnoringCase(Text(r.DeviceName), Text(r.PortName)))
        add(8, std::nullopt, W::kAutosizeContent);
    if (!TextEmpty(r.AttachedDevice)) add(16, "Device", W::kAutosizeWithHeader);
    if (!TextEmpty(r.AttachedVersion)) add(17, "Version", W::kAutosizeWithHeader);
    if (!TextEmpty(r.AttachedDate)) add(18, "Date", W::kAutosizeWithHeader);
    add(19, "", W::kAutosizeWithHeader);
    const bool owner = OwnerTestHolds(r, ownProcessId);
    if (owner) {
        add(20, "ProcID", W::kAutosizeWithHeader);
        add(21, "ObjHndl", W::kAutosizeWithHeader);
        add(22, "ObjAddr", W::kAutosizeWithHeader);
    }
    add(23, "", W::kAutosizeWithHeader);
    if (owner) {
        add(24, "DupProcID", W::kAutosizeWithHeader);
        add(25, "DupObjHndl", W::kAutosizeWithHeader);
        add(26, "DupObjAddr", W::kAutosizeWithHeader);
        add(27, "", W::kAutosizeWithHeader);
    }
    if (LineTestHolds(r))
        for (int column = 28; column <= 46; ++column) add(column, LineHeader(column), W::kAutosizeWithHeader);
    for (HeaderStep& step : IdentityHeaderSteps(ShownIdentity(r))) steps.push_back(std::move(step));
    return steps;
}

std::vector<ColumnOutcome> FinalHeaderOutcome(const std::vector<PortRecord>& records, uint32_t ownProcessId) {
    std::vector<ColumnOutcome> outcome(kResultColumnCount + 1);  // indexed by column number
    for (const PortRecord& record : records) {
        for (HeaderStep& step : ResultHeaderSteps(record, ownProcessId)) {
            ColumnOutcome& column = outcome[static_cast<size_t>(step.column)];
            if (step.text) column.header = std::move(step.text);
            if (step.width != ColumnWidth::kUnchanged) column.width = step.width;
        }
    }
    return outcome;
}

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

void CreateResultColumns(HWND dialog) {
    HWND list = ResultList(dialog);
    RowTextsOf(list).Clear();
    InsertEmptyColumns(list, kResultColumnCount);
    MakeWidthTwin(list);
}

void ClearResultList(HWND dialog) {
    HWND list = ResultList(dialog);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    RowTextsOf(list).Clear();
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

namespace {

// The widest text of each column, measured with the list's own font once per distinct text.
// The list measures every row of a column for a content width; the widest text decides it,
// so a list holding only that text reaches the same width.
class WidestTexts {
public:
    explicit WidestTexts(HWND list)
        : list_(list), dc_(GetDC(list)), texts_(kResultColumnCount + 1), widths_(kResultColumnCount + 1, -1),
          seen_(kResultColumnCount + 1) {
        if (dc_) oldFont_ = SelectObject(dc_, reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)));
    }
    ~WidestTexts() {
        if (!dc_) return;
        if (oldFont_) SelectObject(dc_, oldFont_);
        ReleaseDC(list_, dc_);
    }
    WidestTexts(const WidestTexts&) = delete;
    WidestTexts& operator=(const WidestTexts&) = delete;

    bool ok() const { return dc_ != nullptr; }
    void Offer(int column, std::string_view text) {
        if (!dc_ || !seen_[static_cast<size_t>(column)].insert(text).second) return;
        SIZE size{};
        GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &size);
        if (size.cx > widths_[static_cast<size_t>(column)]) {
            widths_[static_cast<size_t>(column)] = size.cx;
            texts_[static_cast<size_t>(column)] = std::string(text);
        }
    }
    const std::string& Widest(int column) const { return texts_[static_cast<size_t>(column)]; }

private:
    HWND list_;
    HDC dc_;
    HGDIOBJ oldFont_ = nullptr;
    std::vector<std::string> texts_;
    std::vector<int> widths_;
    std::vector<std::unordered_set<std::string_view>> seen_;  // views into the rows held
};

// A hidden twin of the list: same font, styles, columns and headers, holding one row of the
// widest texts. It answers width requests exactly as the list would, at the cost of one row
// instead of every row. It is made once with the list's columns (making a list view costs
// tens of milliseconds under some systems) and is owned by the dialog, which destroys it.
constexpr char kWidthTwinProperty[] = "KestruneWidthTwin";

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

class WidthTwin {
public:
    WidthTwin(HWND list, const WidestTexts& widest) {
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

    bool ok() const { return twin_ != nullptr; }
    // The pixel width the list would take for this request.
    int Width(int column, ColumnWidth width) const {
        SendMessageA(twin_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column - 1), static_cast<LPARAM>(static_cast<int>(width)));
        return static_cast<int>(SendMessageA(twin_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column - 1), 0));
    }

private:
    HWND twin_ = nullptr;
};

// Puts the rows in front of those shown and tells the list how many there are; the list
// asks for each cell when it needs it. Returns, per column number, whether some cell asked
// for a content width. A content width measures every row, and the last request per column
// decides it; rows written after that request leave that column empty, so measuring once at
// the end gives the same width as measuring after every cell.
std::vector<bool> WriteRows(HWND list, const std::vector<PortRecord>& records, WidestTexts* widest = nullptr) {
    ResultRowTexts& rows = RowTextsOf(list);
    std::vector<bool> autosize = rows.InsertInFront(records, GetCurrentProcessId());
    if (widest)
        for (size_t row = 0; row < records.size(); ++row)
            for (int column = 1; column <= kResultColumnCount; ++column) widest->Offer(column, rows.Cell(row, column));
    SendMessageA(list, LVM_SETITEMCOUNT, rows.RowCount(), 0);
    return autosize;
}

void WriteHeaders(HWND list, const std::vector<ColumnOutcome>& outcome) {
    for (int column = 1; column <= kResultColumnCount; ++column) {
        const ColumnOutcome& wanted = outcome[static_cast<size_t>(column)];
        if (!wanted.header) continue;
        LVCOLUMNA header{};
        header.mask = LVCF_TEXT;
        header.pszText = const_cast<char*>(wanted.header->c_str());
        SendMessageA(list, LVM_SETCOLUMNA, static_cast<WPARAM>(column - 1), reinterpret_cast<LPARAM>(&header));
    }
}

}  // namespace

void FillResultRows(HWND dialog, const std::vector<PortRecord>& records) {
    HWND list = ResultList(dialog);
    HeldDrawing held(list);
    const std::vector<bool> autosize = WriteRows(list, records);
    for (int column = 1; column <= kResultColumnCount; ++column)
        if (autosize[static_cast<size_t>(column)]) SetColumnWidth(list, column, ColumnWidth::kAutosizeContent);
}

void SetResultHeaders(HWND dialog, const std::vector<PortRecord>& records) {
    HWND list = ResultList(dialog);
    HeldDrawing held(list);
    const std::vector<ColumnOutcome> outcome = FinalHeaderOutcome(records, GetCurrentProcessId());
    WriteHeaders(list, outcome);
    for (int column = 1; column <= kResultColumnCount; ++column)
        SetColumnWidth(list, column, outcome[static_cast<size_t>(column)].width);
}

void ShowResults(HWND dialog, const std::vector<PortRecord>& scanned) {
    // A machine without ports: the title says so and the list stays empty; the record the
    // scan made stays in the road's array for its callers.
    static const std::vector<PortRecord> kNoRows;
    const std::vector<PortRecord>& records = NoSerialPortsFound(scanned) ? kNoRows : scanned;
    HWND list = ResultList(dialog);
    HeldDrawing held(list);
    WidestTexts widest(list);
    const std::vector<bool> autosize = WriteRows(list, records, &widest);
    const std::vector<ColumnOutcome> outcome = FinalHeaderOutcome(records, GetCurrentProcessId());
    WriteHeaders(list, outcome);
    // A header width replaces the content width the rows asked for: measure once, on the
    // twin when it can be made (a content width measures every row of the list).
    std::optional<WidthTwin> twin;
    if (!records.empty() && widest.ok()) twin.emplace(list, widest);
    for (int column = 1; column <= kResultColumnCount; ++column) {
        ColumnWidth width = outcome[static_cast<size_t>(column)].width;
        if (width == ColumnWidth::kUnchanged && autosize[static_cast<size_t>(column)])
            width = ColumnWidth::kAutosizeContent;
        // The last column's request also depends on the space left of the list: it goes to
        // the list itself.
        if (width != ColumnWidth::kUnchanged && column < kResultColumnCount && twin && twin->ok())
            SendMessageA(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column - 1), twin->Width(column, width));
        else
            SetColumnWidth(list, column, width);
    }
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
