// The tolerance test used throughout the analysis: a equals b, or lies in the
// half-open window [b - t, b + t). With t <= 0 only equality passes.
#pragma once

#include <cstdint>

namespace glimmer {

constexpr bool withinTolerance(std::int32_t a, std::int32_t b, std::int32_t t) {
  return a == b || (static_cast<std::int64_t>(b) - t <= a && a < static_cast<std::int64_t>(b) + t);
}

constexpr bool withinTolerance(float a, float b, float t) { return a == b || (b - t <= a && a < b + t); }

}  // namespace glimmer
