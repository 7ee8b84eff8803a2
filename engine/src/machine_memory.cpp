#include "machine_memory.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <string>

namespace {

constexpr std::uint64_t unlimited = std::numeric_limits<std::uint64_t>::max();

std::uint64_t physicalMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0)
    return unlimited;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

// This process's group in the hierarchy whose controllers include `controller`; for cgroup v2's one
// hierarchy, `controller` is empty ("0::/path").
std::optional<std::string> groupOf(const std::string& controller) {
  std::ifstream membership("/proc/self/cgroup");
  std::string line;
  while (std::getline(membership, line)) {
    const auto first = line.find(':');
    const auto second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos)
      continue;
    const std::string controllers = "," + line.substr(first + 1, second - first - 1) + ",";
    if (controller.empty() ? controllers == ",,"
                           : controllers.find("," + controller + ",") != std::string::npos)
      return line.substr(second + 1);
  }
  return std::nullopt;
}

// cgroup v2: the lowest memory.max of the group and the groups above it ("max" where there is none), up
// to the root of what this process sees: in a container, that root is the container's own group.
std::uint64_t unifiedLimit() {
  const std::optional<std::string> group = groupOf("");
  if (!group)
    return unlimited;
  std::uint64_t limit = unlimited;
  for (std::filesystem::path below = std::filesystem::path(*group).relative_path();;
       below = below.parent_path()) {
    std::ifstream file("/sys/fs/cgroup" / below / "memory.max");
    std::string value;
    if (file >> value && value != "max")
      limit = std::min<std::uint64_t>(limit, std::stoull(value));
    if (below.empty())
      return limit;
  }
}

// cgroup v1: the memory controller's own account of the limit that holds for the group, the groups
// above it included. An unlimited group reports a number near 2^63, which the physical memory undercuts.
std::uint64_t legacyLimit() {
  const std::optional<std::string> group = groupOf("memory");
  if (!group)
    return unlimited;
  std::ifstream stat("/sys/fs/cgroup/memory" + *group + "/memory.stat");
  std::string key;
  std::uint64_t value = 0;
  while (stat >> key >> value) {
    if (key == "hierarchical_memory_limit")
      return value;
  }
  return unlimited;
}

}  // namespace

std::uint64_t memoryAvailable() {
  const std::uint64_t physical = physicalMemory();
  try {
    return std::min({physical, unifiedLimit(), legacyLimit()});
  } catch (const std::exception&) {  // an unreadable limit leaves the physical memory
    return physical;
  }
}
