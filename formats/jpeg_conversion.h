// Turns a JPEG input into a greyscale PNM with the external decoder djpeg,
// written to a new file in the temporary folder: nothing is ever written or
// deleted beside the input.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace glimmer {

// True when the text after the path's last '.' is "jpg" or "jpeg" in any
// letter case. The search runs over the whole path, folders included.
bool isJpegPath(const std::string& path);

// The decoder to run: an executable file named djpeg beside the program, else
// in the first folder of PATH that has one. Never the current folder: a
// program planted where the user stands would run with the user's rights, so
// empty and relative PATH entries are passed over. Empty when there is none.
std::string findJpegDecoder();

class DecodedPage;

struct JpegConversion {
  JpegConversion();
  JpegConversion(JpegConversion&&) noexcept;
  JpegConversion& operator=(JpegConversion&&) noexcept;
  ~JpegConversion();  // removes the decoded page

  bool ok = false;
  std::string pnmPath;  // the decoded page to read, removed with this result
  std::string message;  // why it failed, for the user
  std::unique_ptr<DecodedPage> page;
  std::string warning;  // the decoder finished but warned that the file is damaged
};

// How long the decoder may run: a large photo takes seconds, but a decoder
// that hangs must not hang the run with it.
inline constexpr std::chrono::milliseconds kDecoderTimeLimit = std::chrono::seconds(120);

// Runs the decoder on `inputPath` and waits for it. Fails when the decoder or
// a temporary file cannot be had, and when the decoder fails, is killed or
// runs past `timeLimit` (and is then killed): a page it may have written in
// part is removed, never read. A failed decode is reported like any page that
// cannot be read, "Not a valid PNM file", followed by the decoder's own words
// in brackets when it gave any, unless the temporary folder ran out of room,
// which is said as such.
JpegConversion convertJpegToPnm(const std::string& inputPath, std::chrono::milliseconds timeLimit = kDecoderTimeLimit);

}  // namespace glimmer
