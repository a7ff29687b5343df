#include "platform/CRuntime.h"
#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

class ManualTickClock : public ::testing::Test {
protected:
    ~ManualTickClock() override { vex::UseSystemTickCount(); }
};

TEST_F(ManualTickClock, ReturnsExactlyWhatWasSetAndAdvances)
{
    vex::SetManualTickCount(1000);
    EXPECT_EQ(GetTickCount(), 1000u);
    EXPECT_EQ(GetTickCount(), 1000u) << "simulated time stands still between calls";
    vex::AdvanceManualTickCount(250);
    EXPECT_EQ(GetTickCount(), 1250u);
    vex::SetManualTickCount(7);
    EXPECT_EQ(GetTickCount(), 7u);
}

TEST_F(ManualTickClock, WrapsAtTwoToTheThirtyTwo)
{
    vex::SetManualTickCount(0xFFFFFFF0u);
    vex::AdvanceManualTickCount(0x20);
    EXPECT_EQ(GetTickCount(), 0x10u);
    // Elapsed time computed with unsigned subtraction survives the wrap, as callers rely on.
    EXPECT_EQ(GetTickCount() - 0xFFFFFFF0u, 0x20u);
}

TEST_F(ManualTickClock, AdvanceSwitchesToManualClockStartingAtZero)
{
    vex::UseSystemTickCount();
    vex::AdvanceManualTickCount(40);
    EXPECT_EQ(GetTickCount(), 40u);
}

TEST_F(ManualTickClock, SystemClockNeverRunsBackwards)
{
    vex::UseSystemTickCount();
    DWORD previous = GetTickCount();
    for (int i = 0; i < 1000; ++i) {
        const DWORD now = GetTickCount();
        EXPECT_LE(static_cast<DWORD>(now - previous), 1000u);
        previous = now;
    }
}

struct GcvtCase {
    double value;
    int digits;
    const char* text;
};

class Gcvt : public ::testing::TestWithParam<GcvtCase> {};

TEST_P(Gcvt, WritesSignificantDigits)
{
    const GcvtCase& c = GetParam();
    char buffer[64];
    EXPECT_STREQ(_gcvt(c.value, c.digits, buffer), c.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, Gcvt,
                         ::testing::Values(GcvtCase{12, 6, "12."}, GcvtCase{0, 4, "0."}, GcvtCase{-7, 3, "-7."},
                                           GcvtCase{3.14159265, 3, "3.14"}, GcvtCase{0.5, 6, "0.5"},
                                           GcvtCase{-2.25, 6, "-2.25"}, GcvtCase{123456, 3, "1.23e+05"},
                                           GcvtCase{0.0001234, 2, "0.00012"}, GcvtCase{1e-7, 3, "1e-07"},
                                           GcvtCase{3, 0, "3."}, GcvtCase{99.5, 2, "1e+02"}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(GcvtBounds, NeverWritesPastDigitsPlusEightBytesAndParsesBack)
{
    std::mt19937_64 rng(2);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-300, 300), digits(1, 17);
    for (int i = 0; i < 2000; ++i) {
        const double value = mantissa(rng) * std::pow(10.0, exponent(rng));
        const int n = digits(rng);
        char buffer[64];
        std::memset(buffer, 0x5A, sizeof buffer);
        _gcvt(value, n, buffer);
        const size_t allowed = static_cast<size_t>(n) + 8;
        for (size_t k = allowed; k < sizeof buffer; ++k)
            ASSERT_EQ(buffer[k], 0x5A) << "wrote past " << allowed << " bytes for " << value << ", " << n;
        const double back = std::strtod(buffer, nullptr);
        EXPECT_LE(std::fabs(back - value), std::fabs(value) * std::pow(10.0, 1 - n)) << buffer;
    }
    for (double special : {-1.2345678901234567e-300, -DBL_MAX, -DBL_MIN}) {
        char buffer[64];
        std::memset(buffer, 0x5A, sizeof buffer);
        _gcvt(special, 17, buffer);
        for (size_t k = 25; k < sizeof buffer; ++k)
            ASSERT_EQ(buffer[k], 0x5A);
    }
}

struct ItoaCase {
    int value;
    int radix;
    const char* text;
};

class Itoa : public ::testing::TestWithParam<ItoaCase> {};

TEST_P(Itoa, WritesDigits)
{
    const ItoaCase& c = GetParam();
    char buffer[40];
    EXPECT_STREQ(_itoa(c.value, buffer, c.radix), c.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, Itoa,
                         ::testing::Values(ItoaCase{0, 10, "0"}, ItoaCase{7, 10, "7"}, ItoaCase{-123, 10, "-123"},
                                           ItoaCase{INT_MAX, 10, "2147483647"}, ItoaCase{INT_MIN, 10, "-2147483648"},
                                           ItoaCase{255, 16, "ff"}, ItoaCase{-1, 16, "ffffffff"}, ItoaCase{5, 2, "101"},
                                           ItoaCase{INT_MIN, 2, "10000000000000000000000000000000"},
                                           ItoaCase{35, 36, "z"}, ItoaCase{36, 36, "10"}, ItoaCase{10, 1, ""},
                                           ItoaCase{10, 37, ""}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(ItoaRoundTrip, ParsesBackInEveryRadix)
{
    std::mt19937 rng(4);
    std::uniform_int_distribution<int> value(INT_MIN, INT_MAX);
    for (int radix = 2; radix <= 36; ++radix) {
        for (int i = 0; i < 100; ++i) {
            const int v = value(rng);
            char buffer[40];
            std::memset(buffer, 0x5A, sizeof buffer);
            _itoa(v, buffer, radix);
            ASSERT_LT(std::strlen(buffer), 33u);
            for (size_t k = 33; k < sizeof buffer; ++k)
                ASSERT_EQ(buffer[k], 0x5A);
            if (radix == 10)
                EXPECT_EQ(std::strtol(buffer, nullptr, 10), v) << buffer;
            else
                EXPECT_EQ(std::strtoul(buffer, nullptr, radix), static_cast<unsigned int>(v)) << buffer;
        }
    }
}

} // namespace
