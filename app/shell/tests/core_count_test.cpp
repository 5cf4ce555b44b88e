#include "app/shell/core_count.h"

#include <gtest/gtest.h>

#include "common/tests/scratch_dir.h"

namespace glimmer {
namespace {

class CoreCountTest : public ::testing::Test {
 protected:
  void addProcessor(int number, int package, int core) {
    const std::string topology = folder_.file("cpu" + std::to_string(number) + "/topology");
    std::filesystem::create_directories(topology);
    test_support::writeFile(topology + "/physical_package_id", std::to_string(package) + "\n");
    test_support::writeFile(topology + "/core_id", std::to_string(core) + "\n");
  }
  test_support::ScratchDir folder_;
};

TEST_F(CoreCountTest, HardwareThreadsOfOneCoreCountOnce) {
  addProcessor(0, 0, 0);
  addProcessor(1, 0, 1);
  addProcessor(2, 0, 0);
  addProcessor(3, 0, 1);
  EXPECT_EQ(countCoresInTopology(folder_.path().string(), {0, 1, 2, 3}), 2);
  EXPECT_EQ(countCoresInTopology(folder_.path().string(), {0, 2}), 1);  // affinity to one core's two threads
}

TEST_F(CoreCountTest, EqualCoreIdsInTwoPackagesAreTwoCores) {
  addProcessor(0, 0, 0);
  addProcessor(1, 1, 0);
  EXPECT_EQ(countCoresInTopology(folder_.path().string(), {0, 1}), 2);
}

TEST_F(CoreCountTest, UnreadableTopologyGivesOne) {
  addProcessor(0, 0, 0);
  addProcessor(1, 0, 1);
  EXPECT_EQ(countCoresInTopology(folder_.path().string(), {0, 1, 5}), 1);
  EXPECT_EQ(countCoresInTopology(folder_.file("missing"), {0, 1}), 1);
  EXPECT_EQ(countCoresInTopology(folder_.path().string(), {}), 1);
  test_support::writeFile(folder_.file("cpu1/topology/core_id"), "garbage\n");
  EXPECT_EQ(countCoresInTopology(folder_.path().string(), {0, 1}), 1);
}

TEST(CountProcessorCores, ThisMachineHasAtLeastOne) { EXPECT_GE(countProcessorCores(), 1); }

}  // namespace
}  // namespace glimmer
