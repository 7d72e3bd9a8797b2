// SPDX-License-Identifier: Apache-2.0
// The NUMA topology as Linux's sysfs describes it, read from a directory laid out like
// /sys/devices/system/node so that tests can hand in a tree of their own.
#pragma once

namespace Platform {

// Processors summed over the nodes that nodeDirectory/online lists (node numbers may have
// gaps), each counted from nodeDirectory/node<n>/cpulist. 0 when the list cannot be read.
int numaProcessorCountUnder(const char* nodeDirectory);

} // namespace Platform
