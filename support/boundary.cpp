#include "support/boundary.h"

#include <new>
#include <stdexcept>

namespace kestrune {

namespace {

enum class FailureKind { kOutOfMemory, kOutOfRange, kOverflow, kOther };

// The one table: each kind of failure in every numbering the exports use.
constexpr BoundaryFailure kFailures[] = {
    /* kOutOfMemory */ {7, E_OUTOFMEMORY, ERROR_OUTOFMEMORY},
    /* kOutOfRange  */ {9, DISP_E_BADINDEX, ERROR_INVALID_INDEX},
    /* kOverflow    */ {6, DISP_E_OVERFLOW, ERROR_ARITHMETIC_OVERFLOW},
    /* kOther       */ {51, E_UNEXPECTED, ERROR_INTERNAL_ERROR},
};

FailureKind KindOf(const std::exception_ptr& error) noexcept {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return FailureKind::kOutOfMemory;
    } catch (const std::length_error&) {
        return FailureKind::kOutOfMemory;
    } catch (const std::out_of_range&) {
        return FailureKind::kOutOfRange;
    } catch (const std::overflow_error&) {
        return FailureKind::kOverflow;
    } catch (...) {
        return FailureKind::kOther;
    }
    return FailureKind::kOther;
}

}  // namespace

BoundaryFailure BoundaryFailureOf(const std::exception_ptr& error) noexcept {
    return kFailures[static_cast<int>(KindOf(error))];
}

}  // namespace kestrune
