// The wide quotients the panels place things with: exact, truncated toward
// zero and saturated, on targets with and without a 128-bit integer.
#include "render/geometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

using render::MulDiv64;
using render::MulDivUnsigned;
constexpr std::int64_t Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t Min = std::numeric_limits<std::int64_t>::min();

TEST(WideQuotient, SaturatesAndTruncatesTowardZero) {
    EXPECT_EQ(MulDiv64(Max, Max, Max), Max);
    EXPECT_EQ(MulDiv64(Max, Max, 1), Max);
    EXPECT_EQ(MulDiv64(Min, Max, 1), Min);
    EXPECT_EQ(MulDiv64(Min, -1, 1), Max);  // 2^63 is one past the largest
    EXPECT_EQ(MulDiv64(Min, 1, -1), Max);
    EXPECT_EQ(MulDiv64(Min, 1, 1), Min);
    EXPECT_EQ(MulDiv64(Min, Min, Min), Min);
    EXPECT_EQ(MulDiv64(-7, 3, 2), -10);
    EXPECT_EQ(MulDiv64(7, -3, -2), 10);
    EXPECT_EQ(MulDiv64(0, Min, -1), 0);
    // Past 64 bits in the middle, back inside after the division.
    EXPECT_EQ(MulDiv64(std::int64_t{1} << 40, std::int64_t{1} << 40, std::int64_t{1} << 30), std::int64_t{1} << 50);
    EXPECT_EQ(MulDiv64(-(std::int64_t{3} << 40), std::int64_t{5} << 30, std::int64_t{1} << 35), -(std::int64_t{15} << 35));
    bool inexact = false;
    EXPECT_EQ(MulDivUnsigned(~0ull, ~0ull, ~0ull, &inexact), ~0ull);
    EXPECT_FALSE(inexact);
    EXPECT_EQ(MulDivUnsigned(~0ull, 3, 2, &inexact), ~0ull);  // saturated
    EXPECT_TRUE(inexact);
    EXPECT_EQ(MulDivUnsigned(1ull << 63, 6, 4, &inexact), 3ull << 62);
    EXPECT_FALSE(inexact);
}

#ifdef __SIZEOF_INT128__
// Against the compiler's own 128-bit arithmetic, on operands near the
// boundaries where the halves carry into each other.
TEST(WideQuotient, EqualsExactArithmetic) {
    __extension__ using Exact = __int128;
    std::mt19937_64 rng(7);
    const std::vector<std::int64_t> edges{0, 1, -1, 2, -2, Max, Min, Max - 1, Min + 1, 0xFFFFFFFFll, -0xFFFFFFFFll,
                                          0x100000000ll, 0x7FFFFFFFll, -0x80000000ll, 1ll << 62, -(1ll << 62)};
    auto pick = [&]() -> std::int64_t {
        switch (rng() % 4) {
            case 0: return edges[rng() % edges.size()];
            case 1: return static_cast<std::int64_t>(rng()) >> (rng() % 64);
            default: return static_cast<std::int64_t>(rng());
        }
    };
    for (int i = 0; i < 200000; ++i) {
        const std::int64_t a = pick(), b = pick();
        std::int64_t c = pick();
        if (c == 0)
            c = 1;
        Exact q = Exact{a} * b / c;
        q = q > Max ? Max : q < Min ? Min : q;
        ASSERT_EQ(MulDiv64(a, b, c), static_cast<std::int64_t>(q)) << a << " * " << b << " / " << c;
        const auto ua = static_cast<std::uint64_t>(a), ub = static_cast<std::uint64_t>(b);
        const auto uc = static_cast<std::uint64_t>(c);
        __extension__ using ExactUnsigned = unsigned __int128;
        const ExactUnsigned product = ExactUnsigned{ua} * ub;
        const ExactUnsigned uq = product / uc;
        bool inexact = false;
        const std::uint64_t got = MulDivUnsigned(ua, ub, uc, &inexact);
        if (uq > ~0ull) {
            ASSERT_EQ(got, ~0ull);
        } else {
            ASSERT_EQ(got, static_cast<std::uint64_t>(uq)) << ua << " * " << ub << " / " << uc;
            ASSERT_EQ(inexact, product % uc != 0);
        }
    }
}
#endif

}  // namespace
