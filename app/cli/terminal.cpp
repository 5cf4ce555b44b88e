#include "app/cli/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace glimmer::cli {

int terminalColumns() {
  constexpr int kDefaultColumns = 80;
  struct winsize size {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kDefaultColumns;
}

}  // namespace glimmer::cli
