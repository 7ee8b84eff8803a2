#pragma once

// The processors this process may run on: its CPU affinity (taskset, a container's cpuset), lowered
// to a cgroup CPU quota where one is set (a container limited to 1.5 CPUs gets 2, rounded up). At least 1.
unsigned processorsAvailable();

// As many of `jobs` as the process's descriptor limit leaves room for, at least 1: each file in work
// holds a few descriptors at once (its source and its temporary files), and one more may find none.
unsigned jobsWithinDescriptorLimit(unsigned jobs);
