// How many physical processor cores this process may run on; the page is
// analysed in one column band per core.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace glimmer {

// Distinct physical cores (package id, core id) among the processors that the
// process may run on; hardware threads of one core count once. 1 when the
// count cannot be had. Users clamp it to the band limit themselves.
std::int32_t countProcessorCores();

// The counting itself, over the CPU topology under `cpuRoot` (the kernel's
// /sys/devices/system/cpu) for the given processor numbers: 1 when any of
// them has no readable topology or the set is empty.
std::int32_t countCoresInTopology(const std::string& cpuRoot, const std::set<int>& processors);

}  // namespace glimmer
