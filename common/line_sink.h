// Where a diagnostic line goes. Implementations are shared between threads and
// must write each call's text whole.
#pragma once

#include <string_view>

namespace glimmer {

class LineSink {
 public:
  virtual ~LineSink() = default;
  virtual void write(std::string_view text) = 0;
};

}  // namespace glimmer
