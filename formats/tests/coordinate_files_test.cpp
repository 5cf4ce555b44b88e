#include "formats/coordinate_files.h"

#include <gtest/gtest.h>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

LetterBox letterAt5x7(std::vector<std::pair<std::int32_t, std::int32_t>> clones = {{5, 7}}) {
  LetterBox letter;
  letter.x = 5;
  letter.y = 7;
  letter.width = 8;
  letter.height = 12;
  letter.pixelCount = 40;
  letter.clones = std::move(clones);
  letter.baselo = {30};
  letter.basehi = {28};
  return letter;
}

const char* const kLetter5x7Record =
    "((top_left (x 5) (y 7) (width 8) (height 12))\n"
    "(letter\n"
    "\t(letterData\n"
    "(ocrGuess \"\") (width \"8\") (height \"12\") (baselo 30) (basehi 28))\n"
    "\t\t(clonedLetters\n"
    "\t\t\t(clonedLetter(x \"5\") (y \"7\"))\n"
    ")\n)\n)\n";

class CoordinateFilesTest : public ::testing::Test {
 protected:
  test_support::ScratchDir folder_;
  std::string input_ = folder_.file("page.pnm");
  std::string rows() const { return test_support::readFile(input_ + ".rows.coords.lisp"); }
  std::string chars() const { return test_support::readFile(input_ + ".chars.coords.lisp"); }
};

TEST_F(CoordinateFilesTest, RowsFile) {
  writeRowCoordinates({}, input_, "");
  EXPECT_EQ(rows(), "(()");

  const TextRow row{.left = 10, .right = 50, .top = 20, .bottom = 40, .baselo = 35, .basehi = 25};
  writeRowCoordinates({row, row}, input_, "");
  const std::string line = "(x1 11 y1 21 x2 49 y2 40 baselo 15 basehi 5)\n";
  EXPECT_EQ(rows(), "((" + line + line + ")");

  writeRowCoordinates({}, input_, "");  // created anew, not appended
  EXPECT_EQ(rows(), "(()");
}

TEST_F(CoordinateFilesTest, CharsFileAppendsOneBlockPerWrite) {
  writeCharCoordinates({}, input_, "");
  EXPECT_EQ(chars(), "()\n)\n");

  LetterBox cloned = letterAt5x7({{5, 7}, {60, 70}});
  cloned.x = 9;
  writeCharCoordinates({letterAt5x7(), cloned}, input_, "");
  const std::string clonedRecord =
      "((top_left (x 9) (y 7) (width 8) (height 12))\n(letter\n\t(letterData\n"
      "(ocrGuess \"\") (width \"8\") (height \"12\") (baselo 30) (basehi 28))\n\t\t(clonedLetters\n"
      "\t\t\t(clonedLetter(x \"5\") (y \"7\"))\n\t\t\t(clonedLetter(x \"60\") (y \"70\"))\n)\n)\n)\n";
  EXPECT_EQ(chars(), "()\n)\n" + ("(" + std::string(kLetter5x7Record) + clonedRecord + ")\n)\n"));
}

TEST(LetterKey, FirstBaselinesAndBox) {
  EXPECT_EQ(letterKey(letterAt5x7()), "5,7,8,12,30,28");
  LetterBox noBaselines = letterAt5x7();
  noBaselines.baselo.clear();
  noBaselines.basehi.clear();
  EXPECT_EQ(letterKey(noBaselines), "5,7,8,12,0,0");
}

TEST(DropDuplicateLetters, FirstRecordedLetterSurvivesInOrder) {
  LetterBox other = letterAt5x7();
  other.y = 8;
  LetterBox otherBaseline = letterAt5x7();
  otherBaseline.baselo = {31};
  const LetterBox repeat = letterAt5x7({{5, 7}, {100, 7}});
  const std::vector<LetterBox> kept = dropDuplicateLetters({letterAt5x7(), other, repeat, otherBaseline, other});
  EXPECT_EQ(kept, (std::vector<LetterBox>{letterAt5x7(), other, otherBaseline}));
}

TEST(CoordinateFileNames, BesideTheInputOrInTheFolder) {
  EXPECT_EQ(rowCoordinatesPath("C:\\scans\\page.pnm", ""), "C:\\scans\\page.pnm.rows.coords.lisp");
  EXPECT_EQ(rowCoordinatesPath("C:\\scans\\page.pnm", "C:\\out"), "C:\\out/page.pnm.rows.coords.lisp");
  EXPECT_EQ(charCoordinatesPath("C:\\scans\\page.pnm", "C:\\out"), "C:\\out/page.pnm.chars.coords.lisp");
  EXPECT_EQ(charCoordinatesPath("/in/page.JPG", ""), "/in/page.JPG.chars.coords.lisp");
  EXPECT_EQ(rowCoordinatesPath("page.pnm", "/out"), "/out/page.pnm.rows.coords.lisp");
  EXPECT_EQ(charCoordinatesPath("page.pnm", ""), "page.pnm.chars.coords.lisp");
}

TEST_F(CoordinateFilesTest, WritesIntoTheFolderAndSkipsWhatCannotBeCreated) {
  const std::string out = folder_.file("out");
  std::filesystem::create_directory(out);
  writeRowCoordinates({}, "elsewhere/page.pnm", out);
  writeCharCoordinates({}, "page.pnm", out);
  EXPECT_EQ(test_support::readFile(out + "/page.pnm.rows.coords.lisp"), "(()");
  EXPECT_EQ(test_support::readFile(out + "/page.pnm.chars.coords.lisp"), "()\n)\n");

  writeRowCoordinates({}, input_, folder_.file("missing"));
  writeCharCoordinates({letterAt5x7()}, input_, folder_.file("missing"));
  EXPECT_FALSE(std::filesystem::exists(folder_.file("missing")));
}

}  // namespace
}  // namespace glimmer
