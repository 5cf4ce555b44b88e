// The row and character coordinate files: the recorded word boxes and letters
// of a page in a parenthesised list notation, named after the input.
#pragma once

#include <string>
#include <vector>

#include "common/records.h"

namespace glimmer {

// Where the files go: beside the input (input name + suffix) when
// `coordinateFolder` is empty, else in that folder under the input's last
// path component.
std::string rowCoordinatesPath(const std::string& inputName, const std::string& coordinateFolder);
std::string charCoordinatesPath(const std::string& inputName, const std::string& coordinateFolder);

// Creates the rows file anew, one line per word box, replacing an older one
// only when complete. Returns why it failed, with the file's name; empty when
// it was written.
std::string writeRowCoordinates(const std::vector<TextRow>& rows, const std::string& inputName,
                                const std::string& coordinateFolder);

// "x,y,width,height,baselo,basehi" with the first baseline values: letters
// with equal keys are the same letter recorded twice.
std::string letterKey(const LetterBox& letter);

// The letters in order, each key kept at its first occurrence only.
std::vector<LetterBox> dropDuplicateLetters(const std::vector<LetterBox>& letters);

// Appends one block with a record per letter to the characters file, keeping
// what earlier runs wrote; a failed append leaves the file as it was. Returns
// why it failed, with the file's name; empty when it was written.
std::string writeCharCoordinates(const std::vector<LetterBox>& letters, const std::string& inputName,
                                 const std::string& coordinateFolder);

}  // namespace glimmer
