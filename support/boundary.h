#pragma once
// The boundary of every exported function and class member: no exception leaves the
// library into the host program. Each export runs its body through CallAtBoundary.
#include <cstdint>
#include <exception>

namespace kestrune {

// The error number an exception stands for, in the channel layer's numbering: 7 ("Out of
// memory") for a failed allocation or a size beyond what memory can hold, 9 for an index
// out of range, 6 for an overflow, 51 ("Internal error") for anything else.
int32_t BoundaryErrorNumber(const std::exception_ptr& error) noexcept;

// body() and its result. When it throws, onFailure(number) records the failure and gives
// the result instead; should that throw as well, the result is the number itself.
template <typename Body, typename OnFailure>
auto CallAtBoundary(Body&& body, OnFailure&& onFailure) noexcept -> decltype(body()) {
    using Result = decltype(body());
    int32_t number = 51;
    try {
        return body();
    } catch (...) {
        number = BoundaryErrorNumber(std::current_exception());
    }
    try {
        return onFailure(number);
    } catch (...) {
        return static_cast<Result>(number);
    }
}

}  // namespace kestrune
