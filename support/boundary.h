#pragma once
// The boundary of every exported function and class member: no exception leaves the
// library into the host program. Each export runs its body through one of the calls below;
// what an exception stands for is one row of one table, in each numbering the exports use.
#include <windows.h>

#include <cstdint>
#include <exception>

namespace kestrune {

// One kind of failure an exception stands for, as each caller sees it: the channel layer's
// error number (the port functions, the scan, the system information), the class's HRESULT
// and the system error of the registry functions.
struct BoundaryFailure {
    int32_t number;
    HRESULT hresult;
    LONG systemError;
};

// The row of an exception: a failed allocation or a size beyond what memory can hold
// (7, E_OUTOFMEMORY, ERROR_OUTOFMEMORY), an index out of range (9, DISP_E_BADINDEX,
// ERROR_INVALID_INDEX), an overflow (6, DISP_E_OVERFLOW, ERROR_ARITHMETIC_OVERFLOW),
// anything else (51 "Internal error", E_UNEXPECTED, ERROR_INTERNAL_ERROR).
BoundaryFailure BoundaryFailureOf(const std::exception_ptr& error) noexcept;

inline int32_t BoundaryErrorNumber(const std::exception_ptr& error) noexcept {
    return BoundaryFailureOf(error).number;
}

// body() and its result. When it throws, onFailure(failure) records the failure and gives
// the result instead; should that throw as well, the result is pick(failure).
template <typename Body, typename OnFailure, typename Pick>
auto GuardedCall(Body&& body, OnFailure&& onFailure, Pick&& pick) noexcept -> decltype(body()) {
    using Result = decltype(body());
    BoundaryFailure failure{};
    try {
        return body();
    } catch (...) {
        failure = BoundaryFailureOf(std::current_exception());
    }
    try {
        return onFailure(failure);
    } catch (...) {
        return static_cast<Result>(pick(failure));
    }
}

// The channel layer's numbering: onFailure(number) records the failure and gives the
// result; should that throw as well, the result is the number itself.
template <typename Body, typename OnFailure>
auto CallAtBoundary(Body&& body, OnFailure&& onFailure) noexcept -> decltype(body()) {
    return GuardedCall(
        body, [&](const BoundaryFailure& f) { return onFailure(f.number); },
        [](const BoundaryFailure& f) { return f.number; });
}

// A class member or server entry point: the failure's HRESULT.
template <typename Body>
HRESULT HResultAtBoundary(Body&& body) noexcept {
    auto hresult = [](const BoundaryFailure& f) { return f.hresult; };
    return GuardedCall(body, hresult, hresult);
}

// A registry function: the failure's system error.
template <typename Body>
LONG SystemErrorAtBoundary(Body&& body) noexcept {
    auto error = [](const BoundaryFailure& f) { return f.systemError; };
    return GuardedCall(body, error, error);
}

}  // namespace kestrune
