// Runs the built glimmer-cli for the command-line tests.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/tests/scratch_dir.h"

namespace glimmer {

inline std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

inline std::string whitePage(int width, int height) {
  return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
         std::string(static_cast<std::size_t>(width * height), '\xff');
}

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs glimmer-cli in the current folder with `input` as standard input.
inline CliRun runCli(const std::vector<std::string>& arguments, const std::string& input = "/dev/null") {
  std::string command = quoted(GLIMMER_CLI_PATH);
  for (const std::string& argument : arguments) command += " " + quoted(argument);
  command += " >cli.out 2>cli.err <" + quoted(input);
  const int raw = std::system(command.c_str());
  CliRun result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test_support::readFile("cli.out"),
                test_support::readFile("cli.err")};
  std::filesystem::remove("cli.out");
  std::filesystem::remove("cli.err");
  return result;
}

}  // namespace glimmer
