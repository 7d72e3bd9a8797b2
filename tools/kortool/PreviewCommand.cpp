// SPDX-License-Identifier: Apache-2.0
// kortool preview: one slice of a channel, or its maximum projection, as a PNG image.
// The image looks down the chosen axis with the other two across and up; small grids are
// enlarged by whole pixels so a preview is never a few dots.
#include "ColourMaps.h"
#include "Commands.h"
#include "FrameStats.h"
#include "tools/common/FrameNames.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <png.h>
#include <vector>

namespace kortool {

namespace {

constexpr int SmallestSide = 256;

// The slot to show: the one asked for, else smoke, else the first present.
int chooseSlot(IKor& frame, const std::string& asked) {
    if (!asked.empty()) {
        return gridChannelSlot(asked);
    }
    if (frame.hasChannel(FluxaEnum::Smoke)) {
        return FluxaEnum::Smoke;
    }
    for (int slot = 0; slot < FluxaEnum::GridChannelCount; ++slot) {
        if (frame.hasChannel(slot)) {
            return slot;
        }
    }
    return -1;
}

// Values of the image, width across (u) and height up (v), row 0 at the bottom.
struct Plane {
    int width = 0;
    int height = 0;
    std::vector<float> values;
};

Plane project(const float* grid, const int size[3], int axis, int slice, bool maximum) {
    // The two axes the image shows, across then up.
    const int u = axis == 0 ? 1 : 0;
    const int v = axis == 2 ? 1 : 2;
    Plane plane;
    plane.width = size[u];
    plane.height = size[v];
    plane.values.assign(size_t(plane.width) * size_t(plane.height), std::nanf(""));
    const int first = maximum ? 0 : slice;
    const int last = maximum ? size[axis] - 1 : slice;
    for (int b = 0; b < plane.height; ++b) {
        for (int a = 0; a < plane.width; ++a) {
            float& pixel = plane.values[size_t(b) * size_t(plane.width) + size_t(a)];
            for (int w = first; w <= last; ++w) {
                int index[3];
                index[u] = a;
                index[v] = b;
                index[axis] = w;
                const float value =
                    grid[size_t(index[0]) +
                         size_t(size[0]) * (size_t(index[1]) + size_t(size[1]) * size_t(index[2]))];
                // A projection keeps the value of largest magnitude, so signed channels
                // show their strongest flow either way.
                pixel = std::isnan(pixel) || std::fabs(value) > std::fabs(pixel) ? value : pixel;
            }
        }
    }
    return plane;
}

bool writePng(const std::string& path, const Plane& plane, ColourMap map, float low, float high,
              int& scale) {
    scale = std::max(1, SmallestSide / std::max(1, std::max(plane.width, plane.height)));
    const int width = plane.width * scale;
    const int height = plane.height * scale;
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y) {
        const int b = plane.height - 1 - y / scale;
        for (int x = 0; x < width; ++x) {
            const float value = plane.values[size_t(b) * size_t(plane.width) + size_t(x / scale)];
            colourOf(map, value, low, high, &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]);
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGB;
    const bool written =
        png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return written;
}

} // namespace

int runPreview(const PreviewOptions& options) {
    const FrameHandle frame = openFrame(options.file);
    if (!frame) {
        std::fprintf(stderr, "kortool preview: %s cannot be opened\n", options.file.c_str());
        return 1;
    }
    const int slot = chooseSlot(*frame, options.channel);
    const float* grid = slot >= 0 ? frame->getChannel(slot) : nullptr;
    if (grid == nullptr) {
        std::fprintf(stderr, "kortool preview: %s has no channel %s\n", options.file.c_str(),
                     options.channel.empty() ? "to show" : options.channel.c_str());
        return 1;
    }
    int size[3];
    frame->getGridSize(size);
    const int axis = options.axis - 'x';
    const int slice = options.slice >= 0 ? options.slice : size[axis] / 2;
    if (size[0] <= 0 || size[1] <= 0 || size[2] <= 0 || slice >= size[axis]) {
        std::fprintf(stderr, "kortool preview: slice %d is outside the grid's %d %c planes\n",
                     slice, size[axis], options.axis);
        return 1;
    }
    const Plane plane = project(grid, size, axis, slice, options.maxProjection);
    float low = INFINITY;
    float high = -INFINITY;
    for (const float value : plane.values) {
        low = value < low ? value : low;
        high = value > high ? value : high;
    }
    if (low > high) {
        low = high = 0.0f; // nothing but NaN
    }
    const ColourMap map = colourMapFor(slot, low, high);
    std::printf("%s %s: values %g .. %g", gridChannelName(slot).c_str(),
                options.maxProjection
                    ? ("maximum along " + std::string(1, options.axis)).c_str()
                    : (std::string(1, options.axis) + " = " + std::to_string(slice)).c_str(),
                low, high);
    mapRange(map, low, high);
    int scale = 1;
    if (!writePng(options.output, plane, map, low, high, scale)) {
        std::printf("\n");
        std::fprintf(stderr, "kortool preview: %s cannot be written\n", options.output.c_str());
        return 1;
    }
    std::printf(", %s colours over %g .. %g\nwrote %s (%d x %d pixels)\n",
                colourMapName(map).c_str(), low, high, options.output.c_str(), plane.width * scale,
                plane.height * scale);
    return 0;
}

} // namespace kortool
