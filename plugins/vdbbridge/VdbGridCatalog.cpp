// SPDX-License-Identifier: Apache-2.0
// Walks the grid descriptors the way io::File::open does, but keeps their stored order
// and reads each grid's metadata and transform where the descriptor points.
#include "plugins/vdbbridge/VdbGridCatalog.h"

#include <fstream>
#include <openvdb/io/Archive.h>
#include <openvdb/io/GridDescriptor.h>
#include <openvdb/io/io.h>
#include <utility>

namespace vdbbridge {

namespace {

VdbValueKind kindOf(const openvdb::GridBase& grid) {
    if (grid.isType<openvdb::FloatGrid>()) {
        return VdbValueKind::Float;
    }
    if (grid.isType<openvdb::DoubleGrid>()) {
        return VdbValueKind::Double;
    }
    if (grid.isType<openvdb::Int32Grid>()) {
        return VdbValueKind::Int32;
    }
    if (grid.isType<openvdb::Int64Grid>()) {
        return VdbValueKind::Int64;
    }
    if (grid.isType<openvdb::BoolGrid>()) {
        return VdbValueKind::Bool;
    }
    if (grid.isType<openvdb::Vec3SGrid>()) {
        return VdbValueKind::Vec3f;
    }
    if (grid.isType<openvdb::Vec3DGrid>()) {
        return VdbValueKind::Vec3d;
    }
    return VdbValueKind::Unsupported;
}

bool readStatsBox(const openvdb::GridBase& grid, openvdb::CoordBBox& box) {
    const auto min =
        grid.getMetadata<openvdb::Vec3IMetadata>(openvdb::GridBase::META_FILE_BBOX_MIN);
    const auto max =
        grid.getMetadata<openvdb::Vec3IMetadata>(openvdb::GridBase::META_FILE_BBOX_MAX);
    if (!min || !max) {
        return false;
    }
    const openvdb::Vec3i& lo = min->value();
    const openvdb::Vec3i& hi = max->value();
    // An empty grid stores min above max; CoordBBox keeps that as an empty box.
    box = openvdb::CoordBBox(openvdb::Coord(lo.x(), lo.y(), lo.z()),
                             openvdb::Coord(hi.x(), hi.y(), hi.z()));
    return true;
}

void checkStream(const std::istream& stream) {
    if (!stream.good()) {
        OPENVDB_THROW(openvdb::IoError, "truncated or unreadable file");
    }
}

// OpenVDB allocates every string and metadata value at the length the file states before
// reading it. These walks check the lengths ahead against the bytes left, then rewind, so
// that no allocation exceeds the file.
class LengthCheck {
public:
    LengthCheck(std::istream& input, std::streamoff inputBytes)
        : stream(input), start(input.tellg()), fileBytes(inputBytes) {}
    ~LengthCheck() { stream.seekg(start); }
    LengthCheck(const LengthCheck&) = delete;
    LengthCheck& operator=(const LengthCheck&) = delete;

    uint32_t Count() {
        uint32_t value = 0;
        stream.read(reinterpret_cast<char*>(&value), sizeof value);
        checkStream(stream);
        return value;
    }
    // A length-prefixed block: a string, or a metadata value.
    void Block() { Skip(Length()); }
    // A metadata map: a count, then name, type name and value blocks. OpenVDB reads a
    // value of a fixed-size type by its type, whatever length the file gives, so such a
    // length must match the type or the rest of the map would be read out of step.
    void MetaMap() {
        const uint32_t count = Count();
        // Each entry takes at least its three lengths.
        if (count > Remaining() / 12) {
            OPENVDB_THROW(openvdb::IoError, "metadata count beyond the end of the file");
        }
        for (uint32_t entry = 0; entry < count; ++entry) {
            Block();
            const std::string type = TypeName();
            const uint32_t valueBytes = Length();
            const int fixedBytes = fixedMetadataBytes(type);
            if (fixedBytes >= 0 && valueBytes != uint32_t(fixedBytes)) {
                OPENVDB_THROW(openvdb::IoError, "metadata length does not match its type");
            }
            // The delayed-load table sizes two arrays by a count of its own.
            if (type == "__delayedload" && valueBytes >= 4) {
                const std::streampos value = stream.tellg();
                if (Count() > Remaining()) {
                    OPENVDB_THROW(openvdb::IoError, "length beyond the end of the file");
                }
                stream.seekg(value);
            }
            Skip(valueBytes);
        }
    }

private:
    static int fixedMetadataBytes(const std::string& type) {
        static const std::pair<const char*, int> sizes[] = {
            {"bool", 1},   {"float", 4},  {"double", 8}, {"int32", 4},
            {"int64", 8},  {"vec2i", 8},  {"vec2s", 8},  {"vec2d", 16},
            {"vec3i", 12}, {"vec3s", 12}, {"vec3d", 24}, {"vec4i", 16},
            {"vec4s", 16}, {"vec4d", 32}, {"mat4s", 64}, {"mat4d", 128}};
        for (const auto& size : sizes) {
            if (type == size.first) {
                return size.second;
            }
        }
        return -1;
    }

    std::streamoff Remaining() { return fileBytes - std::streamoff(stream.tellg()); }

    uint32_t Length() {
        const uint32_t bytes = Count();
        if (bytes > Remaining()) {
            OPENVDB_THROW(openvdb::IoError, "length beyond the end of the file");
        }
        return bytes;
    }

    void Skip(uint32_t bytes) {
        stream.seekg(bytes, std::ios::cur);
        checkStream(stream);
    }

    // Type names are short; a longer one is skipped and matches no known type.
    std::string TypeName() {
        const uint32_t bytes = Length();
        std::string name;
        if (bytes > 64) {
            Skip(bytes);
            return name;
        }
        name.resize(bytes);
        stream.read(&name[0], bytes);
        checkStream(stream);
        return name;
    }

    std::istream& stream;
    std::streampos start;
    std::streamoff fileBytes;
};

// The header and descriptor readers are protected members of Archive.
class DescriptorWalk : public openvdb::io::Archive {
public:
    VdbFileInfo Read(std::istream& stream, std::streamoff fileBytes) {
        readHeader(stream);
        checkStream(stream);
        auto streamMetadata = std::make_shared<openvdb::io::StreamMetadata>();
        openvdb::io::setStreamMetadataPtr(stream, streamMetadata, /*transfer=*/false);
        openvdb::io::setVersion(stream, libraryVersion(), fileVersion());
        setDataCompression(stream);

        LengthCheck(stream, fileBytes).MetaMap();
        openvdb::MetaMap fileMetadata;
        fileMetadata.readMeta(stream);
        checkStream(stream);
        VdbFileInfo info;
        const auto creator = fileMetadata.getMetadata<openvdb::StringMetadata>(CreatorKey);
        info.writtenByBridge = creator && creator->value() == CreatorValue;
        if (!inputHasGridOffsets()) {
            OPENVDB_THROW(openvdb::IoError, "file without grid offsets (format before 2.0)");
        }
        const int32_t gridCount = readGridCount(stream);
        checkStream(stream);
        // A descriptor takes at least 28 bytes: two string lengths and three offsets.
        if (gridCount < 0 || gridCount > fileBytes / 28) {
            OPENVDB_THROW(openvdb::IoError, "grid count beyond the file size");
        }
        const bool instancing =
            openvdb::io::getFormatVersion(stream) >= openvdb::OPENVDB_FILE_VERSION_GRID_INSTANCING;
        for (int32_t g = 0; g < gridCount; ++g) {
            {
                LengthCheck names(stream, fileBytes);
                names.Block();
                names.Block();
                if (instancing) {
                    names.Block();
                }
            }
            openvdb::io::GridDescriptor descriptor;
            openvdb::GridBase::Ptr grid = descriptor.read(stream);
            checkStream(stream);
            if (descriptor.getGridPos() < 0 || descriptor.getGridPos() >= fileBytes ||
                descriptor.getEndPos() < 0 || descriptor.getEndPos() > fileBytes) {
                OPENVDB_THROW(openvdb::IoError, "grid offsets beyond the file size");
            }
            info.grids.push_back(readGridHeader(stream, fileBytes, descriptor, *grid));
            descriptor.seekToEnd(stream);
            checkStream(stream);
        }
        return info;
    }

private:
    VdbGridInfo readGridHeader(std::istream& stream, std::streamoff fileBytes,
                               const openvdb::io::GridDescriptor& descriptor,
                               openvdb::GridBase& grid) {
        VdbGridInfo info;
        info.name = descriptor.gridName();
        info.lookupName = openvdb::io::GridDescriptor::nameAsString(descriptor.uniqueName());
        info.kind = kindOf(grid);

        descriptor.seekToGrid(stream);
        readGridCompression(stream);
        LengthCheck(stream, fileBytes).MetaMap();
        grid.readMeta(stream);
        checkStream(stream);
        info.levelSet = grid.getGridClass() == openvdb::GRID_LEVEL_SET;
        info.staggered = grid.getGridClass() == openvdb::GRID_STAGGERED;
        info.hasActiveBox = readStatsBox(grid, info.activeBox);
        // Older files store the transform after the topology; the import reads it there.
        if (openvdb::io::getFormatVersion(stream) >=
            openvdb::OPENVDB_FILE_VERSION_GRID_INSTANCING) {
            LengthCheck(stream, fileBytes).Block();
            grid.readTransform(stream);
            checkStream(stream);
            info.transform = grid.transformPtr();
        }
        return info;
    }
};

} // namespace

VdbFileInfo readFileInfo(const std::string& path) {
    std::ifstream stream(path, std::ios::in | std::ios::binary);
    if (!stream) {
        OPENVDB_THROW(openvdb::IoError, "cannot open the file");
    }
    stream.seekg(0, std::ios::end);
    const std::streamoff fileBytes = stream.tellg();
    stream.seekg(0, std::ios::beg);
    checkStream(stream);
    DescriptorWalk walk;
    return walk.Read(stream, fileBytes);
}

bool isVectorKind(VdbValueKind kind) {
    return kind == VdbValueKind::Vec3f || kind == VdbValueKind::Vec3d;
}

} // namespace vdbbridge
