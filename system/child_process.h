// Runs another program as a detached child process and waits for its end.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace glimmer {

// Returned when the child cannot be started at all.
inline constexpr std::int32_t kChildNotStarted = 999;
// Returned when the child was killed for running past its time limit.
inline constexpr std::int32_t kChildTimedOut = 998;

// Splits a command line the way the Windows C runtime does: white space
// separates arguments, double quotes group and are removed, and backslashes
// are literal except before a double quote (2n backslashes and a quote give n
// backslashes and a grouping quote; 2n+1 give n backslashes and a literal quote).
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// Runs `commandLine` (the program, then its arguments) and blocks until the
// child has ended. The child has no standard streams and is detached from the
// caller's terminal or console; `hidden` keeps a window-system child from
// showing a window where the platform offers that. Returns the child's exit
// code, 128 + the signal number when a signal ended it, or kChildNotStarted.
std::int32_t runChildProcess(const std::string& commandLine, bool hidden);

// The same with the arguments given one by one (the program first), for
// arguments that no command line could quote, such as a path holding a
// double quote. With a time limit, a child still running when it has passed is
// killed together with everything it started (its whole session), and the
// result is kChildTimedOut. With `errorOutput`, what the child writes to its
// standard error (its first kErrorOutputLimit bytes) is kept there.
std::int32_t runChildArguments(const std::vector<std::string>& arguments, bool hidden,
                               std::optional<std::chrono::milliseconds> timeLimit = std::nullopt,
                               std::string* errorOutput = nullptr);

inline constexpr std::size_t kErrorOutputLimit = 4096;

// Starts a program (the arguments one by one, the program first) that the
// caller does not wait for, such as a viewer, detached as runChildArguments
// detaches it. It is watched for `watch` only: a program that cannot start, or
// that fails within that time (non-zero exit, or a signal), gives the reason
// in words; anything else gives the empty text. A child still running then is
// reaped in the background when it ends.
std::string startDetachedChild(const std::vector<std::string>& arguments, std::chrono::milliseconds watch);

}  // namespace glimmer
