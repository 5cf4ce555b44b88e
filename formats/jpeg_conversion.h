// Turns a JPEG input into a greyscale PNM with the external decoder djpeg,
// written to a new file in the temporary folder: nothing is ever written or
// deleted beside the input.
#pragma once

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
};

// Runs the decoder on `inputPath` and waits for it. Fails only when the
// decoder or a temporary file cannot be had. A decoder that fails still gives
// `pnmPath` (its file then does not read as a PNM), so the caller's read
// reports the problem and the caller's clean-up still applies.
JpegConversion convertJpegToPnm(const std::string& inputPath);

// Removes a file that convertJpegToPnm made, and nothing else: any other path
// is left alone.
void removeConvertedPnm(const std::string& pnmPath);

}  // namespace glimmer
