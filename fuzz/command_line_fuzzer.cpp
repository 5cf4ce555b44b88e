// The child runner's command-line splitter on arbitrary text. Whatever the
// arguments it finds, quoting each of them by the runtime's rules and joining
// them with blanks must give the same arguments back; and text with no quote
// or backslash is split at its blanks alone.
#include <cstdint>
#include <string>
#include <vector>

#include "system/child_process.h"
#include "fuzz/fuzz_support.h"

namespace {

using glimmer::fuzz::require;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// One argument in double quotes: backslashes are doubled where they come
// before a quote (also the closing one), and a quote inside gets a backslash.
std::string quoted(const std::string& argument) {
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}

std::vector<std::string> blankSeparatedWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (!isBlank(c)) {
      word += c;
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> arguments = glimmer::splitCommandLine(text);

  std::string requoted;
  for (const std::string& argument : arguments) requoted += (requoted.empty() ? "" : " ") + quoted(argument);
  require(glimmer::splitCommandLine(requoted) == arguments, "quoted arguments split back into themselves");

  if (text.find_first_of("\"\\") == std::string::npos) {
    require(arguments == blankSeparatedWords(text), "without quotes or backslashes only blanks separate");
  }
  return 0;
}
