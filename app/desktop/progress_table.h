// The dialog's last reported progress of each band, in thousandths, and the
// mean that the progress bar shows.
#pragma once

#include <array>
#include <cstdint>

namespace glimmer {

class ProgressTable {
 public:
  static constexpr int kBands = 64;

  void clear() { entries_.fill(0); }

  // A band index outside the table is ignored.
  void record(int band, std::int32_t thousandths) {
    if (band >= 0 && band < kBands) entries_[static_cast<std::size_t>(band)] = thousandths;
  }

  // Mean of bands 0..bandCount-1, the fraction dropped; bandCount is 1..kBands.
  std::int32_t mean(int bandCount) const {
    std::int64_t sum = 0;
    for (int band = 0; band < bandCount; ++band) sum += entries_[static_cast<std::size_t>(band)];
    return static_cast<std::int32_t>(sum / bandCount);
  }

 private:
  std::array<std::int32_t, kBands> entries_{};
};

}  // namespace glimmer
