#pragma once
// The list-view messages the window's lists are built with: empty columns and rows, one
// cell's text, one column's width, and holding a list's drawing while many things change.
#include <windows.h>

#include <string>

#include "app/common/list_cells.h"

namespace kestrune {

// Appends count empty centred columns of width -1 to a list view in report mode.
void InsertEmptyColumns(HWND list, int count);

// A row with empty cells and image 0, as every row starts.
void InsertEmptyRow(HWND list, int row);

// The text of the cell in row (from 0) and column (from 1).
void SetCell(HWND list, int row, int column, const std::string& text);

// Sends the width action to the column (from 1); nothing for kUnchanged.
void SetColumnWidth(HWND list, int column, ColumnWidth width);

// Holds the list's drawing while many rows or columns change and repaints it once after:
// a visible list otherwise recomputes its scroll bars and repaints for every message.
class HeldDrawing {
public:
    explicit HeldDrawing(HWND list);
    ~HeldDrawing();
    HeldDrawing(const HeldDrawing&) = delete;
    HeldDrawing& operator=(const HeldDrawing&) = delete;

private:
    HWND list_;
};

}  // namespace kestrune
