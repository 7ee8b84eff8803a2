#include "processor_count.h"

#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

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

unsigned jobsWithinDescriptorLimit(unsigned jobs) {
  // The source, the re-encoded and the original's temporary files, and a moment's copy of one of them.
  constexpr rlim_t perJob = 4;
  // What the coordinator opens besides: a subfolder to place into, a listing, the deletion list.
  constexpr rlim_t reserve = 4;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return jobs;
  std::error_code error;
  rlim_t open = 0;
  for (auto entry = std::filesystem::directory_iterator("/proc/self/fd", error);
       !error && entry != std::filesystem::directory_iterator(); entry.increment(error))
    ++open;
  if (error)
    return jobs;
  const rlim_t room = limit.rlim_cur > open + reserve ? limit.rlim_cur - open - reserve : 0;
  return static_cast<unsigned>(std::clamp<rlim_t>(room / perJob, 1, jobs));
}
