// What the driver and its band threads need from the front end that runs them
// (the desktop dialog, the command line, or a test).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace glimmer {

inline constexpr const char* kErrorTitle = "Glimmer - Error";

// The progress of a whole input in thousandths: pages before `page` done,
// and `pagePermille` of that one.
constexpr int inputProgress(int page, int pageCount, int pagePermille) {
  return pageCount <= 0 ? pagePermille
                        : static_cast<int>((static_cast<long long>(page) * 1000 + pagePermille) / pageCount);
}

class DriverHost {
 public:
  virtual ~DriverHost() = default;

  // A message the user must see, with an OK button.
  virtual void showError(const std::string& text, const std::string& title) = 0;

  // A page that was read but is damaged (a raster cut short, a decoder's
  // warning); the run goes on. Front ends that do not say otherwise print it
  // on standard error.
  virtual void showWarning(const std::string& text) { std::fprintf(stderr, "warning: %s\n", text.c_str()); }

  // A Yes/No question; true for Yes.
  virtual bool askYesNo(const std::string& text, const std::string& title) = 0;

  // Progress of one band in thousandths (0..999), sent from that band's thread.
  // Synchronous: returns only when the front end has handled it.
  virtual void reportProgress(int band, int thousandths) = 0;

  // The driver starts page `index` (from 0) of an input of `count` pages,
  // before its bands report; a single page is announced as page 0 of 1. A
  // front end whose progress is per page only may leave it as it is.
  virtual void startPage(int /*index*/, int /*count*/) {}

  // Why the run must stop now (a time limit, an interrupt); empty to go on.
  // Asked from every band thread once a column, so it must be quick.
  virtual std::string stopReason() { return {}; }

  // One of the driver's standard-output diagnostic lines, newline included.
  // Called from any thread; each call is one whole line.
  virtual void diagnosticLine(std::string_view line) = 0;
};

}  // namespace glimmer
