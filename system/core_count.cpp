#include "system/core_count.h"

#include <sched.h>

#include <cstdio>
#include <optional>
#include <utility>

namespace glimmer {

namespace {

std::optional<long> readNumberFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  long value = 0;
  const bool read = std::fscanf(file, "%ld", &value) == 1;
  std::fclose(file);
  if (!read) return std::nullopt;
  return value;
}

}  // namespace

std::int32_t countCoresInTopology(const std::string& cpuRoot, const std::set<int>& processors) {
  std::set<std::pair<long, long>> cores;
  for (const int processor : processors) {
    const std::string topology = cpuRoot + "/cpu" + std::to_string(processor) + "/topology/";
    const std::optional<long> package = readNumberFile(topology + "physical_package_id");
    const std::optional<long> core = readNumberFile(topology + "core_id");
    if (!package || !core) return 1;
    cores.emplace(*package, *core);
  }
  return cores.empty() ? 1 : static_cast<std::int32_t>(cores.size());
}

std::int32_t countProcessorCores() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof(allowed), &allowed) != 0) return 1;
  std::set<int> processors;
  for (int processor = 0; processor < CPU_SETSIZE; ++processor) {
    if (CPU_ISSET(processor, &allowed)) processors.insert(processor);
  }
  return countCoresInTopology("/sys/devices/system/cpu", processors);
}

}  // namespace glimmer
