// SPDX-License-Identifier: Apache-2.0
// Checks the stored tree of one grid before OpenVDB reads it. OpenVDB's node readers trust
// the stream: they copy a block of whatever size the file states into a node's fixed
// buffer, allocate stated compressed sizes before reading them and loop over stated
// counts. The walk here follows OpenVDB's path through the same bytes (the topology, then
// the leaf buffers in the order OpenVDB reads them) and refuses the grid when anything
// does not fit the file or the node it belongs to, so OpenVDB only reads streams that fit.
// Only the standard tree (root, 32^3 and 16^3 internal nodes, 8^3 leaves) is walked.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>

namespace vdbbridge {

// How a grid stores its values:
//   fileVersion   the file's format version
//   compression   io::COMPRESS_* flags in force for the grid
//   valueBytes    bytes of one value as the nodes hold it (backgrounds, tiles)
//   halfFloat     real values saved as half floats: value blocks hold 2 bytes per
//                 component, and an empty block holds nothing at all
//   vectorValues  three components per value
//   boolValues    one byte per value that must be 0 or 1
struct VdbStoredValues {
    uint32_t fileVersion = 0;
    uint32_t compression = 0;
    uint32_t valueBytes = 0;
    bool halfFloat = false;
    bool vectorValues = false;
    bool boolValues = false;
};

// Walks the tree stored at the stream's position and leaves the stream after it. Files
// older than grid instancing store the transform between topology and buffers;
// skipBetween then reads past it. Throws openvdb::IoError naming the first part that does
// not fit.
void checkStoredTree(std::istream& stream, std::streamoff fileBytes, const VdbStoredValues& values,
                     const std::function<void(std::istream&)>& skipBetween);

} // namespace vdbbridge
