#include "processor_count.h"

#include <sched.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>

namespace {

unsigned affinityCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0)
    return 1;
  return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
}

// cgroup v2's cpu.max of this process's own group: "max 100000" when unlimited, or "150000 100000" for
// 1.5 CPUs. Any other form (cgroup v1, no file) counts as no quota.
unsigned quotaCount(unsigned fallback) {
  std::ifstream membership("/proc/self/cgroup");
  std::string line;
  std::string group;
  while (std::getline(membership, line)) {
    if (line.starts_with("0::"))
      group = line.substr(3);
  }
  if (group.empty())
    return fallback;
  std::ifstream limit("/sys/fs/cgroup" + group + "/cpu.max");
  std::string quota;
  double period = 0;
  if (!(limit >> quota >> period) || quota == "max" || period <= 0)
    return fallback;
  const double cpus = std::stod(quota) / period;
  return std::max(1u, static_cast<unsigned>(std::ceil(cpus)));
}

}  // namespace

unsigned processorsAvailable() {
  const unsigned affinity = affinityCount();
  try {
    return std::min(affinity, quotaCount(affinity));
  } catch (const std::exception&) {  // an unreadable quota leaves the affinity
    return affinity;
  }
}
