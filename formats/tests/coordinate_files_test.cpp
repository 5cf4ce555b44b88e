#include "formats/coordinate_files.h"

#include <gtest/gtest.h>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

// At (5, 7), 8 x 12, 40 pixels, word 0, cloned only at its own place, baselines 30 and 28.
const LetterBox kLetter{5, 7, 8, 12, 40, 0, {{5, 7}}, "", {30}, {28}};

class CoordinateFilesTest : public ::testing::Test {
 protected:
  test_support::ScratchDir folder_;
  std::string input_ = folder_.file("page.pnm");
  std::string rows() const { return test_support::readFile(input_ + ".rows.coords.lisp"); }
  std::string chars() const { return test_support::readFile(input_ + ".chars.coords.lisp"); }
};

TEST_F(CoordinateFilesTest, RowsFileIsCreatedAnewWithOneLinePerBox) {
  const TextRow row{.left = 10, .right = 50, .top = 20, .bottom = 40, .baselo = 35, .basehi = 25};
  writeRowCoordinates({row, row}, input_, "");
  const std::string line = "(x1 11 y1 21 x2 49 y2 40 baselo 15 basehi 5)\n";
  EXPECT_EQ(rows(), "((" + line + line + ")");
  writeRowCoordinates({}, input_, "");
  EXPECT_EQ(rows(), "(()");
}

TEST_F(CoordinateFilesTest, CharsFileAppendsOneBlockPerWrite) {
  writeCharCoordinates({}, input_, "");
  LetterBox cloned = kLetter;
  cloned.clones.push_back({60, 70});
  writeCharCoordinates({kLetter, cloned}, input_, "");
  const std::string head =
      "((top_left (x 5) (y 7) (width 8) (height 12))\n(letter\n\t(letterData\n"
      "(ocrGuess \"\") (width \"8\") (height \"12\") (baselo 30) (basehi 28))\n\t\t(clonedLetters\n"
      "\t\t\t(clonedLetter(x \"5\") (y \"7\"))\n";
  EXPECT_EQ(chars(),
            "()\n)\n(" + head + ")\n)\n)\n" + head + "\t\t\t(clonedLetter(x \"60\") (y \"70\"))\n)\n)\n)\n" + ")\n)\n");
}

TEST_F(CoordinateFilesTest, FailuresNameTheFileAndPlantedLinksAreNotFollowed) {
  std::filesystem::create_directory(input_ + ".rows.coords.lisp");
  test_support::writeFile(folder_.file("victim"), "precious");
  std::filesystem::create_symlink("victim", input_ + ".chars.coords.lisp");
  EXPECT_EQ(writeRowCoordinates({}, input_, ""),
            "Cannot write coordinate file (" + input_ + ".rows.coords.lisp): Is a directory");
  EXPECT_EQ(writeCharCoordinates({kLetter}, input_, ""), "Cannot write coordinate file (" + input_ +
                                                             ".chars.coords.lisp): a symbolic link, not followed for a "
                                                             "file the program names itself");
  EXPECT_EQ(test_support::readFile(folder_.file("victim")), "precious");
}

TEST(DropDuplicateLetters, KeepsTheFirstOfEachBoxAndBaselineInOrder) {
  LetterBox lower = kLetter;
  lower.y = 8;
  LetterBox otherBaseline = kLetter;
  otherBaseline.baselo = {31};
  LetterBox sameWithOtherClones = kLetter;
  sameWithOtherClones.clones.push_back({100, 7});
  EXPECT_EQ(dropDuplicateLetters({kLetter, lower, sameWithOtherClones, otherBaseline, lower}),
            (std::vector<LetterBox>{kLetter, lower, otherBaseline}));
}

TEST(CoordinateFileNames, BesideTheInputOrInTheFolder) {
  EXPECT_EQ(rowCoordinatesPath("C:\\scans\\page.pnm", ""), "C:\\scans\\page.pnm.rows.coords.lisp");
  EXPECT_EQ(charCoordinatesPath("C:\\scans\\page.pnm", "C:\\out"), "C:\\out/page.pnm.chars.coords.lisp");
  EXPECT_EQ(rowCoordinatesPath("/in/page.JPG", "/out"), "/out/page.JPG.rows.coords.lisp");
  EXPECT_EQ(charCoordinatesPath("page.pnm", ""), "page.pnm.chars.coords.lisp");
}

}  // namespace
}  // namespace glimmer
