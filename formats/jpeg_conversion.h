// Turns a JPEG input into a greyscale PNM with the external decoder djpeg,
// written to a new file in the temporary folder: nothing is ever written or
// deleted beside the input.
#pragma once

#include <chrono>
#include <string>

namespace glimmer {

// True when the text after the path's last '.' is "jpg" or "jpeg" in any
// letter case. The search runs over the whole path, folders included.
bool isJpegPath(const std::string& path);

// The decoder to run: an executable file named djpeg in the current folder,
// beside the program, or on PATH, in that order; empty when there is none.
std::string findJpegDecoder();

struct JpegConversion {
  bool ok = false;
  std::string pnmPath;  // the decoded page to read; the caller removes it with removeConvertedPnm
  std::string message;  // why it failed, for the user
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
// in brackets when it gave any.
JpegConversion convertJpegToPnm(const std::string& inputPath, std::chrono::milliseconds timeLimit = kDecoderTimeLimit);

// Removes a file that convertJpegToPnm made, and nothing else: any other path
// is left alone.
void removeConvertedPnm(const std::string& pnmPath);

}  // namespace glimmer
