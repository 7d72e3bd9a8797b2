// SPDX-License-Identifier: Apache-2.0
// Deterministic grids for the codec benchmarks, shaped like what the simulator writes.
#pragma once

#include <cstdint>
#include <vector>

namespace korbench {

// A smoke plume filling about a quarter of the domain; exactly zero elsewhere.
std::vector<float> smokeGrid(int n);
// Noise in [0, 1) everywhere: no zeros, no runs.
std::vector<float> noiseGrid(int n);
// A dense smooth field with fine noise: no zeros, but a small alphabet of differences.
std::vector<float> denseGrid(int n);
// A signed, smooth velocity-like component with some turbulence.
std::vector<float> velocityGrid(int n);

} // namespace korbench
