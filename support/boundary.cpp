#include "support/boundary.h"

#include <new>
#include <stdexcept>

namespace kestrune {

int32_t BoundaryErrorNumber(const std::exception_ptr& error) noexcept {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return 7;
    } catch (const std::length_error&) {
        return 7;
    } catch (const std::out_of_range&) {
        return 9;
    } catch (const std::overflow_error&) {
        return 6;
    } catch (...) {
        return 51;
    }
    return 51;
}

}  // namespace kestrune
