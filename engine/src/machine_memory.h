#pragma once

#include <cstdint>

// The memory this process may use: the machine's physical memory, lowered to a cgroup memory limit
// where its group or one above it sets one (cgroup v2's memory.max, v1's hierarchical limit).
std::uint64_t memoryAvailable();
