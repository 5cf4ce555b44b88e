// Runs whole pages through the driver at one to four bands and compares every
// output byte for byte with what an independent implementation wrote for them.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <ostream>
#include <string>

#include "common/tests/scratch_dir.h"
#include "pipeline/driver.h"
#include "pipeline/tests/recording_host.h"

namespace glimmer {
namespace {

namespace fs = std::filesystem;
using test_support::readFile;
using test_support::RecordingHost;
using test_support::ScratchDir;

const fs::path kShared = fs::path(GLIMMER_SOURCE_DIR) / ".." / "shared";

struct GoldenPage {
  const char* group;  // crops or synthetic
  const char* input;  // file name under pages/<group>/
};

void PrintTo(const GoldenPage& page, std::ostream* out) { *out << page.group << "/" << page.input; }

std::string stem(const std::string& fileName) { return fileName.substr(0, fileName.rfind('.')); }

class GoldenPages : public ::testing::TestWithParam<GoldenPage> {};

// Bands commit in band order, so every band count writes the one-band files;
// only the standard-output lines name the bands.
TEST_P(GoldenPages, EveryBandCountMatchesEveryOutputFile) {
  const std::string input = GetParam().input;
  const fs::path page = kShared / "pages" / GetParam().group / input;
  const fs::path golden = kShared / "golden" / GetParam().group / stem(input);
  if (!fs::is_directory(golden) || !fs::exists(page)) GTEST_SKIP() << "no golden outputs at " << golden;

  for (const int bands : {1, 2, 3, 4}) {
    ScratchDir dir;
    RecordingHost host;
    ProcessRequest request;
    request.inputPath = page.string();
    request.outputPath = dir.file(stem(input) + ".bmp");
    request.writeRows = true;
    request.writeChars = true;
    request.coordinateFolder = dir.path().string();
    request.bandCount = bands;
    std::string processed;
    ASSERT_EQ(processImageFile(request, host, processed), 0);
    EXPECT_TRUE(host.errors.empty());

    if (bands == 1) {
      std::string standardOutput;
      for (const std::string& line : host.lines) standardOutput += line;
      EXPECT_TRUE(standardOutput == readFile((golden / "stdout.txt").string())) << "stdout differs";
    }
    for (const std::string& name :
         {stem(input) + ".bmp", std::string("skeleton.bmp"), std::string("scores.txt"), std::string("logger.txt"),
          input + ".rows.coords.lisp", input + ".chars.coords.lisp"}) {
      ASSERT_TRUE(fs::exists(dir.path() / name)) << name << " was not written";
      EXPECT_TRUE(readFile(dir.file(name)) == readFile((golden / name).string()))
          << name << " differs at " << bands << " bands";
    }
  }
}

std::string pageName(const ::testing::TestParamInfo<GoldenPage>& info) {
  std::string name = stem(info.param.input);
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Crops, GoldenPages,
                         ::testing::Values(GoldenPage{"crops", "handwritten_dibco2011-hw2.crop.pgm"},
                                           GoldenPage{"crops", "printed-clean_leptonica-lucasta-047.crop.pgm"},
                                           GoldenPage{"crops", "printed-dark-bg_leptonica-1555-007.crop.pgm"},
                                           GoldenPage{"crops", "printed-green-bg_dibco2013-pr03.crop.pgm"},
                                           GoldenPage{"crops", "printed-showthrough_dibco2017-20.crop.pgm"},
                                           GoldenPage{"crops", "printed-stained_dibco2013-pr08.crop.pgm"}),
                         pageName);

INSTANTIATE_TEST_SUITE_P(
    Synthetic, GoldenPages,
    ::testing::Values(GoldenPage{"synthetic", "dark_serif.pnm"}, GoldenPage{"synthetic", "dark_small.pnm"},
                      GoldenPage{"synthetic", "dark_words.pnm"}, GoldenPage{"synthetic", "dense.pnm"},
                      GoldenPage{"synthetic", "light_on_dark.pnm"}, GoldenPage{"synthetic", "no_text.pnm"}),
    pageName);

}  // namespace
}  // namespace glimmer
