// SPDX-License-Identifier: Apache-2.0
// The channel names a Field3D file offers, and the lookup of a mapping's grid name.
// A scalar field is one channel named as its layer; a vector field (dense, sparse or MAC)
// gives "<layer>(x)", "<layer>(y)" and "<layer>(z)", except the layer "velocity", whose
// components are "(x)", "(Y)" and "(Z)" as default mappings name them. A layer name found in
// several partitions is offered bare once (the first partition in name order) and once per
// partition as "<partition>/<layer>", so that each of them can be mapped; neither HDF5
// group names nor therefore these parts can hold a '/'.
#pragma once

#include "plugins/f3dbridge/F3dCatalogue.h"

#include <string>
#include <vector>

// One offered channel:
//   name        as reported to the library and matched against mappings
//   layer       index into the catalogue
//   component   0, 1 or 2 for vector fields, -1 for scalars
//   flag        set for vector components and for fields this module cannot import:
//               neither may stand in for smoke when the default mapping looks for one
struct F3dChannel {
    std::string name;
    size_t layer;
    int component;
    bool flag;
};

std::vector<F3dChannel> listF3dChannels(const std::vector<F3dLayerInfo>& layers);

// The channel a mapping's grid name selects, or null. Names match exactly; failing that,
// a component suffix matches in either case ("velocity(y)" selects "velocity(Y)"),
// because the suffix is ours and default tables spell it both ways.
const F3dChannel* findF3dChannel(const std::vector<F3dChannel>& channels, const char* name);
