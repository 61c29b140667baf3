#pragma once
// The main dialog's control identifiers: the results list, the four refresh buttons (their
// identifiers are also the refresh commands), the status bar and the second list.
namespace kestrune {

constexpr int kResultsListId = 1025;
constexpr int kRefreshId = 1026;
constexpr int kRefreshEarlyBoundId = 1027;
constexpr int kRefreshLateBoundId = 1028;
constexpr int kRefreshNoRegistryId = 1029;
constexpr int kStatusBarId = 1030;
constexpr int kLinesListId = 1032;

}  // namespace kestrune
