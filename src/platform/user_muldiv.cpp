// MulDiv: the product formed in 64 bits, divided with rounding half away
// from zero, as the system call rounds dialog units and scaled sizes.
#include <cstdint>

#include "platform/win32.h"

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0)
        return -1;
    std::int64_t product = std::int64_t{number} * numerator;
    std::int64_t divisor = denominator;
    if (divisor < 0) {
        divisor = -divisor;
        product = -product;
    }
    const std::int64_t half = divisor / 2;
    // |product| < 2^62 and half < 2^31: the sum cannot overflow.
    const std::int64_t result = product >= 0 ? (product + half) / divisor : (product - half) / divisor;
    if (result > INT32_MAX || result < -INT32_MAX)
        return -1;
    return static_cast<int>(result);
}
