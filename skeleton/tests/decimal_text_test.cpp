// The log block's numbers against printf's own text for them.
#include "skeleton/detail/decimal_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace glimmer::decimal_text {
namespace {

std::string printfFixed(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
  return text;
}

std::string fixed(float value) {
  std::string text = "x";  // appended to, not replaced
  appendFixed(text, value);
  return text.substr(1);
}

TEST(DecimalText, FixedMatchesPrintfOnFloatsOfEveryExponent) {
  std::mt19937 random(29);
  for (int i = 0; i < 400'000; ++i) {
    const auto value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
    ASSERT_EQ(fixed(value), printfFixed(value)) << std::hexfloat << value;
  }
}

// Odd multiples of 2^-7 lie halfway between two millionths (x * 10^6 = odd *
// 15625 / 2): ties, rounded to the even one. Around them and around the
// halfway points of other scales, the neighbouring floats.
TEST(DecimalText, FixedRoundsTiesToEvenAndNeighboursTheWayPrintfDoes) {
  for (int odd = 1; odd < 200'000; odd += 2) {
    for (const float tie : {std::ldexp(static_cast<float>(odd), -7), std::ldexp(static_cast<float>(odd), -7) * -1}) {
      for (const float value : {tie, std::nextafter(tie, 0.0f), std::nextafter(tie, 2 * tie)}) {
        ASSERT_EQ(fixed(value), printfFixed(value)) << std::hexfloat << value;
      }
    }
  }
  for (int scale = -40; scale < 34; ++scale) {
    const float power = std::ldexp(1.0f, scale);
    for (const float value : {power, std::nextafter(power, 0.0f), std::nextafter(power, 4 * power), 5e-7f * power}) {
      ASSERT_EQ(fixed(value), printfFixed(value)) << std::hexfloat << value;
      ASSERT_EQ(fixed(-value), printfFixed(-value)) << std::hexfloat << -value;
    }
  }
}

TEST(DecimalText, FixedMatchesPrintfOnRatiosAndEdges) {
  for (int numerator = 0; numerator < 3000; numerator += 7) {
    for (int denominator = 1; denominator < 700; ++denominator) {
      const float ratio = static_cast<float>(numerator) / static_cast<float>(denominator);
      ASSERT_EQ(fixed(ratio), printfFixed(ratio)) << numerator << " / " << denominator;
    }
  }
  using Limits = std::numeric_limits<float>;
  for (const float value : {0.0f, -0.0f, -1.0f, 1e-7f, -1e-7f, 4.9999997e-7f, 5e-7f, Limits::denorm_min(),
                            -Limits::denorm_min(), Limits::min(), 0x1p31f, std::nextafter(0x1p31f, 0.0f), Limits::max(),
                            -Limits::max(), Limits::infinity(), -Limits::infinity(), Limits::quiet_NaN()}) {
    EXPECT_EQ(fixed(value), printfFixed(value)) << std::hexfloat << value;
  }
}

TEST(DecimalText, IntegerMatchesPrintf) {
  std::mt19937 random(31);
  for (int i = 0; i < 100'000; ++i) {
    const auto value = static_cast<std::int32_t>(random());
    std::string text = "x";
    appendInteger(text, value);
    char expected[16];
    std::snprintf(expected, sizeof expected, "%d", value);
    ASSERT_EQ(text, std::string("x") + expected);
  }
}

}  // namespace
}  // namespace glimmer::decimal_text
