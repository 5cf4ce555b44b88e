#include "formats/coordinate_files.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <set>

#include "system/output_file.h"
#include "system/path_text.h"

namespace glimmer {

namespace {

void appendFormatted(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void appendFormatted(std::string& out, const char* format, ...) {
  // Only numbers are formatted here, so one line always fits.
  char buffer[256];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (length > 0) out.append(buffer, std::min(static_cast<std::size_t>(length), sizeof buffer - 1));
}

std::string coordinatesPath(const std::string& inputName, const std::string& coordinateFolder, const char* suffix) {
  if (coordinateFolder.empty()) return inputName + suffix;
  // A name without any separator is its own last component.
  const std::string forward = replaceAll(inputName, "\\", "/");
  const std::size_t slash = forward.rfind('/');
  const std::string lastComponent = slash == std::string::npos ? forward : forward.substr(slash + 1);
  return coordinateFolder + "/" + lastComponent + suffix;
}

// The analysis gives every letter one value in each baseline list; an empty
// list reads as 0 rather than failing.
int firstValue(const std::vector<std::int32_t>& values) { return values.empty() ? 0 : values.front(); }

// The file's name is the program's own, made from the input's: a link planted
// under it is not followed, and only a regular file is written.
std::string writeCoordinateFile(const std::string& path, bool append, const std::string& content) {
  OutputFile output(path, {.mayReplace = true, .ownName = true, .append = append});
  if (output.write(content) && output.commit()) return {};
  return "Cannot write coordinate file (" + path + "): " + output.failure();
}

}  // namespace

std::string rowCoordinatesPath(const std::string& inputName, const std::string& coordinateFolder) {
  return coordinatesPath(inputName, coordinateFolder, ".rows.coords.lisp");
}

std::string charCoordinatesPath(const std::string& inputName, const std::string& coordinateFolder) {
  return coordinatesPath(inputName, coordinateFolder, ".chars.coords.lisp");
}

std::string writeRowCoordinates(const std::vector<TextRow>& rows, const std::string& inputName,
                                const std::string& coordinateFolder) {
  std::string content = "((";
  for (const TextRow& row : rows) {
    appendFormatted(content, "(x1 %d y1 %d x2 %d y2 %d baselo %d basehi %d)\n", row.left + 1, row.top + 1,
                    row.right - 1, row.bottom, row.baselo - row.top, row.basehi - row.top);
  }
  content += ")";
  return writeCoordinateFile(rowCoordinatesPath(inputName, coordinateFolder), false, content);
}

std::string letterKey(const LetterBox& letter) {
  std::string key;
  appendFormatted(key, "%d,%d,%d,%d,%d,%d", letter.x, letter.y, letter.width, letter.height, firstValue(letter.baselo),
                  firstValue(letter.basehi));
  return key;
}

std::vector<LetterBox> dropDuplicateLetters(const std::vector<LetterBox>& letters) {
  std::vector<LetterBox> kept;
  std::set<std::string> seen;
  for (const LetterBox& letter : letters) {
    if (seen.insert(letterKey(letter)).second) kept.push_back(letter);
  }
  return kept;
}

std::string writeCharCoordinates(const std::vector<LetterBox>& letters, const std::string& inputName,
                                 const std::string& coordinateFolder) {
  std::string content = "(";
  for (const LetterBox& letter : letters) {
    appendFormatted(content, "((top_left (x %d) (y %d) (width %d) (height %d))\n", letter.x, letter.y, letter.width,
                    letter.height);
    content += "(letter\n";
    content += "\t(letterData\n(ocrGuess \"" + letter.ocrGuess + "\")";
    appendFormatted(content, " (width \"%d\") (height \"%d\") (baselo %d) (basehi %d))\n", letter.width, letter.height,
                    firstValue(letter.baselo), firstValue(letter.basehi));
    content += "\t\t(clonedLetters\n";
    for (const auto& [x, y] : letter.clones)
      appendFormatted(content, "\t\t\t(clonedLetter(x \"%d\") (y \"%d\"))\n", x, y);
    content += ")\n)\n)\n";
  }
  content += ")\n)\n";
  return writeCoordinateFile(charCoordinatesPath(inputName, coordinateFolder), true, content);
}

}  // namespace glimmer
