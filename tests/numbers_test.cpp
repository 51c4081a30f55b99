#include "numbers.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

std::string rendered(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    return text;
}

TEST(parse_dimension, reads_like_atoi_and_keeps_the_low_32_bits) {
    const struct {
        const char* text;
        std::uint32_t expected;
    } rows[] = {
        {"0", 0},
        {"256", 256},
        {"  \t\n+42", 42},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"0x10", 0},
        {"1e3", 1},
        {"-1", 4294967295U},
        {"-2147483648", 2147483648U},
        {"4294967295", 4294967295U},
        {"4294967296", 0},
        {"4294967297", 1},
        {"9223372036854775807", 4294967295U},
        {"9223372036854775808", 4294967295U},
        {"99999999999999999999", 4294967295U},
        {"-9223372036854775808", 0},
        {"-99999999999999999999", 0},
        {"007", 7},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(vox::parse_dimension(row.text), row.expected) << '"' << row.text << '"';
    }
}

TEST(exact_product, has_no_wrap_around) {
    const struct {
        std::uint32_t x, y, z;
        const char* expected;
    } rows[] = {
        {0, 0, 0, "0"},
        {3, 2, 4, "24"},
        {4294967295U, 12, 0, "0"},
        {2000, 2000, 2000, "8000000000"},
        {65536, 65536, 1, "4294967296"},
        {1, 65536, 65536, "4294967296"},
        {4294967295U, 1, 1, "4294967295"},
        {4294967295U, 4294967295U, 1, "18446744065119617025"},
        {4294967295U, 4294967295U, 4294967295U, "79228162458924105385300197375"},
        {1000000000, 1000000000, 10, "10000000000000000000"},
        {65536, 65536, 10, "42949672960"}, // a quotient on the way is a multiple of 2^32
    };
    for (const auto& row : rows) {
        EXPECT_STREQ(vox::exact_product(row.x, row.y, row.z).c_str(), row.expected)
            << row.x << " * " << row.y << " * " << row.z;
    }
}

TEST(parse_real, rounds_to_single_precision_then_renders_six_decimals) {
    const struct {
        const char* text;
        const char* expected;
    } rows[] = {
        {"1", "1.000000"},
        {"2.5", "2.500000"},
        {"0.1", "0.100000"},
        {"-0.5", "-0.500000"},
        {"-0", "-0.000000"},
        {"123456.789", "123456.789062"}, // single precision holds ...7890625: a tie, to even
        {"0.0000005", "0.000000"},       // rounds down once stored in single precision
        {"1e-7", "0.000000"},
        {"1e2", "100.000000"},
        {"0x10", "16.000000"},
        {"0x1p-2", "0.250000"},
        {"16777217", "16777216.000000"},           // beyond the float mantissa
        {"16777217.000000001", "16777216.000000"}, // to double first (a tie), then to float
        {"  7.5xyz", "7.500000"},
        {"abc", "0.000000"},
        {"", "0.000000"},
        {"inf", "inf"},
        {"-Infinity", "-inf"},
        {"nan", "nan"},
        {"-nan", "-nan"},
        {"1e39", "inf"},
        {"-1e39", "-inf"},
        {"1e400", "inf"},
        {"3.4028235e38", "340282346638528859811704183484516925440.000000"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(rendered(vox::parse_real(row.text)), row.expected) << '"' << row.text << '"';
    }
}

TEST(to_single, overflows_to_infinity_exactly_where_rounding_does) {
    const double max = FLT_MAX;
    const double half_step = 0x1p103; // half the distance from FLT_MAX to the next float
    EXPECT_EQ(vox::to_single(max), FLT_MAX);
    EXPECT_EQ(vox::to_single(max + half_step / 2), FLT_MAX);
    EXPECT_EQ(vox::to_single(std::nextafter(max + half_step, 0.0)), FLT_MAX);
    EXPECT_TRUE(std::isinf(vox::to_single(max + half_step)));
    EXPECT_EQ(vox::to_single(-max - half_step), -INFINITY);
    EXPECT_TRUE(std::signbit(vox::to_single(-NAN)));
    EXPECT_FALSE(std::signbit(vox::to_single(NAN)));
}

} // namespace
