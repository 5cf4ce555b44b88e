#include "system/core_count.h"

#include <gtest/gtest.h>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

TEST(CountCoresInTopology, CountsPackageAndCorePairsOfTheAllowedProcessors) {
  const test_support::ScratchDir sysfs;
  // Processors 0 and 2 are the threads of one core; processor 3 has core id 0 in the second package.
  const char* const packageAndCore[][2] = {{"0", "0"}, {"0", "1"}, {"0", "0"}, {"1", "0"}};
  for (int cpu = 0; cpu < 4; ++cpu) {
    const std::string topology = sysfs.file("cpu" + std::to_string(cpu) + "/topology/");
    std::filesystem::create_directories(topology);
    test_support::writeFile(topology + "physical_package_id", packageAndCore[cpu][0] + std::string("\n"));
    test_support::writeFile(topology + "core_id", packageAndCore[cpu][1] + std::string("\n"));
  }
  const std::string root = sysfs.path().string();
  EXPECT_EQ(countCoresInTopology(root, {0, 1, 2, 3}), 3);
  EXPECT_EQ(countCoresInTopology(root, {0, 2}), 1);
  // Anything unreadable gives one core.
  EXPECT_EQ(countCoresInTopology(root, {0, 1, 5}), 1);
  EXPECT_EQ(countCoresInTopology(root, {}), 1);
  test_support::writeFile(sysfs.file("cpu1/topology/core_id"), "garbage\n");
  EXPECT_EQ(countCoresInTopology(root, {0, 1}), 1);
}

}  // namespace
}  // namespace glimmer
