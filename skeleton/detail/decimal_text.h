// Numbers as text, the way printf's "%d" and "%f" write them, without going
// through printf's format parsing and its general floating-point path.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace glimmer::decimal_text {

// As "%d" writes it.
inline void appendInteger(std::string& out, std::int64_t value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// As "%f" writes the float (widened to double, which holds it exactly): six
// decimals, rounded to nearest with ties to even, "-" before any negative value,
// -0 and values that round to 0 included. Below 2^31 the value is m * 2^e with
// m below 2^24, so value * 10^6 = m * 10^6 * 2^e is an exact integer below 2^51
// for e >= 0, and for e < 0 a 64-bit m * 10^6 (below 2^44) shifted right with
// the dropped bits deciding the rounding; larger and non-finite values go to
// printf itself.
inline void appendFixed(std::string& out, float value) {
  const float magnitude = std::fabs(value);
  if (!(magnitude < 0x1p31f)) {
    char text[64];  // a float has at most 39 integer digits
    const int length = std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    out.append(text, static_cast<std::size_t>(length));
    return;
  }
  int exponent = 0;
  const float fraction = std::frexp(magnitude, &exponent);  // in [0.5, 1), or 0
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 24));
  const int shift = exponent - 24;  // magnitude = mantissa * 2^shift
  constexpr std::uint64_t kMillion = 1'000'000;
  std::uint64_t millionths = 0;
  if (shift >= 0) {
    millionths = (mantissa << shift) * kMillion;
  } else if (-shift < 45) {  // from 45 bits on, mantissa * 10^6 is below half of 2^-shift
    const std::uint64_t scaled = mantissa * kMillion;
    const int dropped = -shift;
    const std::uint64_t whole = scaled >> dropped;
    const std::uint64_t rest = scaled & ((std::uint64_t{1} << dropped) - 1);
    const std::uint64_t half = std::uint64_t{1} << (dropped - 1);
    millionths = whole + (rest > half || (rest == half && (whole & 1) != 0) ? 1 : 0);
  }
  if (std::signbit(value)) out += '-';
  appendInteger(out, static_cast<std::int64_t>(millionths / kMillion));
  char decimals[8] = {'.'};
  std::uint64_t rest = millionths % kMillion;
  for (int digit = 6; digit >= 1; --digit, rest /= 10) decimals[digit] = static_cast<char>('0' + rest % 10);
  out.append(decimals, 7);
}

}  // namespace glimmer::decimal_text
