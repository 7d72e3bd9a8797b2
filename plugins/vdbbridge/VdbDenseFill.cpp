// SPDX-License-Identifier: Apache-2.0
// The copy path walks leaves and active tiles only, so its cost follows the active
// voxels; the resampling path visits every frame voxel through the transforms.
#include "plugins/vdbbridge/VdbDenseFill.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vdbbridge {

namespace {

// Coordinates beyond this are refused before they reach 32-bit Coord arithmetic.
constexpr double CoordLimit = 1e9;

template <typename T>
double componentValue(const T& value, int) {
    return static_cast<double>(value);
}

template <typename T>
double componentValue(const openvdb::math::Vec3<T>& value, int component) {
    return static_cast<double>(value[component]);
}

float scaled(double value, double factor) {
    return static_cast<float>(factor == 1.0 ? value : value * factor);
}

class DenseIndex {
public:
    explicit DenseIndex(const openvdb::CoordBBox& box)
        : min(box.min()), nx(box.dim().x()), nxy(int64_t(box.dim().x()) * box.dim().y()) {}
    int64_t operator()(const openvdb::Coord& c) const {
        return (c.x() - min.x()) + nx * int64_t(c.y() - min.y()) + nxy * int64_t(c.z() - min.z());
    }

private:
    openvdb::Coord min;
    int64_t nx;
    int64_t nxy;
};

template <typename GridT>
void copyActive(const GridT& grid, int component, double factor, const DenseTarget& target) {
    const openvdb::CoordBBox& box = target.box;
    const DenseIndex index(box);
    const float background = scaled(componentValue(grid.background(), component), factor);
    std::fill(target.values, target.values + box.volume(), background);

    for (auto leaf = grid.tree().cbeginLeaf(); leaf; ++leaf) {
        if (!box.hasOverlap(leaf->getNodeBoundingBox())) {
            continue;
        }
        for (auto voxel = leaf->cbeginValueOn(); voxel; ++voxel) {
            const openvdb::Coord c = voxel.getCoord();
            if (box.isInside(c)) {
                target.values[index(c)] = scaled(componentValue(*voxel, component), factor);
            }
        }
    }
    // Active tiles of the internal nodes; the leaves were done above.
    auto tile = grid.tree().cbeginValueOn();
    tile.setMaxDepth(GridT::TreeType::ValueOnCIter::LEAF_DEPTH - 1);
    for (; tile; ++tile) {
        openvdb::CoordBBox tileBox;
        tile.getBoundingBox(tileBox);
        tileBox.intersect(box);
        if (tileBox.empty()) {
            continue;
        }
        const float value = scaled(componentValue(*tile, component), factor);
        for (int z = tileBox.min().z(); z <= tileBox.max().z(); ++z) {
            for (int y = tileBox.min().y(); y <= tileBox.max().y(); ++y) {
                float* row = target.values + index(openvdb::Coord(tileBox.min().x(), y, z));
                std::fill(row, row + tileBox.dim().x(), value);
            }
        }
    }
}

// Trilinear interpolation in which inactive voxels count as the background. Corners of
// zero weight are not read, so integer positions give stored values exactly.
template <typename AccessorT>
double sampleTrilinear(const AccessorT& accessor, int component, double background,
                       const openvdb::Vec3d& position) {
    for (int axis = 0; axis < 3; ++axis) {
        if (!(std::fabs(position[axis]) < CoordLimit)) {
            return background;
        }
    }
    const openvdb::Vec3d base(std::floor(position.x()), std::floor(position.y()),
                              std::floor(position.z()));
    const openvdb::Vec3d fraction = position - base;
    const openvdb::Coord origin(static_cast<int32_t>(base.x()), static_cast<int32_t>(base.y()),
                                static_cast<int32_t>(base.z()));
    double sum = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        double weight = 1.0;
        openvdb::Coord c = origin;
        for (int axis = 0; axis < 3; ++axis) {
            const bool upper = (corner >> axis) & 1;
            weight *= upper ? fraction[axis] : 1.0 - fraction[axis];
            c[axis] += upper ? 1 : 0;
        }
        if (weight == 0.0) {
            continue;
        }
        typename AccessorT::ValueType value;
        const bool active = accessor.probeValue(c, value);
        sum += weight * (active ? componentValue(value, component) : background);
    }
    return sum;
}

template <typename GridT>
void resample(const GridT& grid, int component, bool staggered, double factor,
              const DenseTarget& target) {
    const auto accessor = grid.getConstAccessor();
    const double background = componentValue(grid.background(), component);
    const openvdb::math::Transform& source = grid.transform();
    const bool sameSpace = source == *target.frameTransform;
    openvdb::Vec3d shift(0.0);
    if (staggered && component >= 0) {
        shift[component] = 0.5;
    }
    const openvdb::CoordBBox& box = target.box;
    float* out = target.values;
    for (int z = box.min().z(); z <= box.max().z(); ++z) {
        for (int y = box.min().y(); y <= box.max().y(); ++y) {
            for (int x = box.min().x(); x <= box.max().x(); ++x) {
                const openvdb::Coord c(x, y, z);
                const openvdb::Vec3d position =
                    sameSpace ? c.asVec3d()
                              : source.worldToIndex(target.frameTransform->indexToWorld(c));
                *out++ = scaled(sampleTrilinear(accessor, component, background, position + shift),
                                factor);
            }
        }
    }
}

template <typename GridT>
void fillTyped(const GridT& grid, int component, bool staggered, double factor,
               const DenseTarget& target) {
    const bool shifted = staggered && component >= 0;
    if (!shifted && grid.transform() == *target.frameTransform) {
        copyActive(grid, component, factor, target);
    } else {
        resample(grid, component, shifted, factor, target);
    }
}

} // namespace

openvdb::CoordBBox boxInFrameSpace(const openvdb::CoordBBox& activeBox,
                                   const openvdb::math::Transform& gridTransform,
                                   const openvdb::math::Transform& frameTransform) {
    if (activeBox.empty() || gridTransform == frameTransform) {
        return activeBox;
    }
    // The corners of the active cells, carried into the frame's index space.
    const openvdb::Vec3d lo = activeBox.min().asVec3d() - openvdb::Vec3d(0.5);
    const openvdb::Vec3d hi = activeBox.max().asVec3d() + openvdb::Vec3d(0.5);
    openvdb::Vec3d min(std::numeric_limits<double>::max());
    openvdb::Vec3d max(-std::numeric_limits<double>::max());
    for (int corner = 0; corner < 8; ++corner) {
        const openvdb::Vec3d p((corner & 1) ? hi.x() : lo.x(), (corner & 2) ? hi.y() : lo.y(),
                               (corner & 4) ? hi.z() : lo.z());
        const openvdb::Vec3d q = frameTransform.worldToIndex(gridTransform.indexToWorld(p));
        min = openvdb::math::minComponent(min, q);
        max = openvdb::math::maxComponent(max, q);
    }
    // Centres on the boundary count as inside; the margin absorbs rounding.
    constexpr double Margin = 1e-6;
    openvdb::Coord first;
    openvdb::Coord last;
    for (int axis = 0; axis < 3; ++axis) {
        const double from = std::ceil(min[axis] - Margin);
        const double to = std::floor(max[axis] + Margin);
        if (!(std::fabs(from) < CoordLimit && std::fabs(to) < CoordLimit)) {
            OPENVDB_THROW(openvdb::ValueError, "grid box beyond 32-bit coordinates");
        }
        first[axis] = static_cast<int32_t>(from);
        last[axis] = static_cast<int32_t>(to);
    }
    return openvdb::CoordBBox(first, last);
}

bool fillDense(const openvdb::GridBase& grid, int component, bool staggered, double factor,
               const DenseTarget& target) {
    const bool isVector = grid.isType<openvdb::Vec3SGrid>() || grid.isType<openvdb::Vec3DGrid>();
    if (isVector && (component < 0 || component > 2)) {
        return false;
    }
    if (grid.isType<openvdb::FloatGrid>()) {
        fillTyped(static_cast<const openvdb::FloatGrid&>(grid), -1, false, factor, target);
    } else if (grid.isType<openvdb::DoubleGrid>()) {
        fillTyped(static_cast<const openvdb::DoubleGrid&>(grid), -1, false, factor, target);
    } else if (grid.isType<openvdb::Int32Grid>()) {
        fillTyped(static_cast<const openvdb::Int32Grid&>(grid), -1, false, factor, target);
    } else if (grid.isType<openvdb::Int64Grid>()) {
        fillTyped(static_cast<const openvdb::Int64Grid&>(grid), -1, false, factor, target);
    } else if (grid.isType<openvdb::BoolGrid>()) {
        fillTyped(static_cast<const openvdb::BoolGrid&>(grid), -1, false, factor, target);
    } else if (grid.isType<openvdb::Vec3SGrid>()) {
        fillTyped(static_cast<const openvdb::Vec3SGrid&>(grid), component, staggered, factor,
                  target);
    } else if (grid.isType<openvdb::Vec3DGrid>()) {
        fillTyped(static_cast<const openvdb::Vec3DGrid&>(grid), component, staggered, factor,
                  target);
    } else {
        return false;
    }
    return true;
}

} // namespace vdbbridge
