// SPDX-License-Identifier: Apache-2.0
// Walks the grid descriptors the way io::File::open does, but keeps their stored order
// and reads each grid's metadata and transform where the descriptor points. Metadata maps
// are read here, not by OpenVDB, whose reader trusts every length in the file. Grids are
// read through the same walk rather than io::File, so that the grid OpenVDB reads is the
// very one whose tree was checked (io::File finds grids by name, and names may repeat).
#include "plugins/vdbbridge/VdbGridCatalog.h"

#include "support/ByteOrder.h"

#include <algorithm>
#include <blosc.h>
#include <fstream>
#include <functional>
#include <openvdb/io/Archive.h>
#include <openvdb/io/GridDescriptor.h>
#include <openvdb/io/io.h>
#include <utility>
#include <vector>

namespace vdbbridge {

namespace {

// OpenVDB pads what it compresses with Blosc to at least this many bytes.
constexpr uint64_t BloscPaddedBytes = 128;

// Bytes of one value as the nodes of each kind hold it.
uint32_t valueBytesOf(VdbValueKind kind) {
    switch (kind) {
    case VdbValueKind::Float:
    case VdbValueKind::Int32:
        return 4;
    case VdbValueKind::Double:
    case VdbValueKind::Int64:
        return 8;
    case VdbValueKind::Bool:
        return 1;
    case VdbValueKind::Vec3f:
        return 12;
    case VdbValueKind::Vec3d:
        return 24;
    case VdbValueKind::Unsupported:
        break;
    }
    return 0;
}

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

void checkStream(const std::istream& stream) {
    if (!stream.good()) {
        OPENVDB_THROW(openvdb::IoError, "truncated or unreadable file");
    }
}

// The metadata values the catalog needs. OpenVDB's own metadata reader trusts the file
// (it allocates stated lengths and decompresses the delayed-load table blindly), so the
// catalog reads metadata maps itself and keeps only these.
struct ScannedMetadata {
    std::string gridClass;
    std::string creator;
    bool savedAsHalf = false;
    bool hasMin = false;
    bool hasMax = false;
    openvdb::Coord min;
    openvdb::Coord max;
};

// Length-checked reading of the parts OpenVDB would otherwise allocate from: every string
// and value length is checked against the bytes left in the file.
class HeaderScan {
public:
    HeaderScan(std::istream& input, std::streamoff inputBytes)
        : stream(input), fileBytes(inputBytes) {}

    uint32_t Count() {
        uint8_t bytes[4];
        stream.read(reinterpret_cast<char*>(bytes), sizeof bytes);
        checkStream(stream);
        return readLE32(bytes);
    }
    // A length-prefixed block: a string, or a metadata value.
    void Block() { Skip(Length()); }

    // A metadata map: a count, then name, type name and value blocks. OpenVDB reads a
    // value of a fixed-size type by its type, whatever length the file gives, so such a
    // length must match the type for the map to be read the same way by OpenVDB later.
    ScannedMetadata MetaMap() {
        ScannedMetadata found;
        const uint32_t count = Count();
        // Each entry takes at least its three lengths.
        if (count > Remaining() / 12) {
            OPENVDB_THROW(openvdb::IoError, "metadata count beyond the end of the file");
        }
        for (uint32_t entry = 0; entry < count; ++entry) {
            const std::string name = ShortString();
            const std::string type = ShortString();
            const uint32_t valueBytes = Length();
            const int fixedBytes = fixedMetadataBytes(type);
            if (fixedBytes >= 0 && valueBytes != uint32_t(fixedBytes)) {
                OPENVDB_THROW(openvdb::IoError, "metadata length does not match its type");
            }
            if (name == openvdb::GridBase::META_SAVE_HALF_FLOAT) {
                found.savedAsHalf = false;
            }
            if (type == "bool") {
                // A bool byte other than 0 or 1 is undefined behaviour wherever it is read.
                uint8_t value = 0;
                stream.read(reinterpret_cast<char*>(&value), 1);
                checkStream(stream);
                if (value > 1) {
                    OPENVDB_THROW(openvdb::IoError, "bool metadata other than 0 or 1");
                }
                if (name == openvdb::GridBase::META_SAVE_HALF_FLOAT) {
                    found.savedAsHalf = value == 1;
                }
            } else if (type == "string" && (name == "class" || name == "creator") &&
                       valueBytes <= 64) {
                std::string& value = name == "class" ? found.gridClass : found.creator;
                value.resize(valueBytes);
                stream.read(&value[0], valueBytes);
                checkStream(stream);
            } else if (type == "vec3i" && (name == openvdb::GridBase::META_FILE_BBOX_MIN ||
                                           name == openvdb::GridBase::META_FILE_BBOX_MAX)) {
                const bool isMin = name == openvdb::GridBase::META_FILE_BBOX_MIN;
                openvdb::Coord& corner = isMin ? found.min : found.max;
                for (int axis = 0; axis < 3; ++axis) {
                    corner[axis] = static_cast<int32_t>(Count());
                }
                (isMin ? found.hasMin : found.hasMax) = true;
            } else if (type == "__delayedload") {
                DelayedLoadTable(valueBytes);
            } else {
                Skip(valueBytes);
            }
        }
        return found;
    }

private:
    // The delayed-load table: a leaf count, then a mask of one byte per leaf and a size of
    // eight bytes per leaf. Each block is a byte count and that many bytes of Blosc, or a
    // count of 0 and the raw values; a size count of 2^32 - 1 leaves the sizes out. OpenVDB
    // reads the table by its contents (skipping what follows them), sizes its arrays by the
    // leaf count and by the sizes Blosc headers state, and decompresses without bounds (a
    // crafted buffer crashes Blosc). So the contents must lie within the stated length, the
    // count must fit the file, and each Blosc buffer must pass Blosc's own validation and
    // expand to no more than its raw size (short ones are padded to 128 bytes).
    void DelayedLoadTable(uint32_t valueBytes) {
        if (valueBytes == 0) {
            return;
        }
        std::vector<uint8_t> value(valueBytes);
        stream.read(reinterpret_cast<char*>(value.data()), valueBytes);
        checkStream(stream);
        size_t next = 0;
        const auto take = [&](uint64_t bytes) {
            if (value.size() - next < bytes) {
                OPENVDB_THROW(openvdb::IoError, "delayed-load table cut short");
            }
            next += bytes;
            return value.data() + next - bytes;
        };
        const auto word = [&]() { return readLE32(take(4)); };
        const uint64_t leaves = word();
        // Every leaf stores at least its 64-byte value mask in the file.
        if (leaves > uint64_t(fileBytes) / 64) {
            OPENVDB_THROW(openvdb::IoError, "delayed-load table counts more leaves than the file");
        }
        for (const uint64_t elementBytes : {uint64_t(1), uint64_t(8)}) {
            const uint32_t blockBytes = word();
            const uint64_t rawBytes = leaves * elementBytes;
            if (elementBytes == 8 && blockBytes == UINT32_MAX) {
                break;
            }
            if (blockBytes == 0) {
                take(rawBytes);
                continue;
            }
            const uint8_t* const block = take(blockBytes);
            size_t uncompressed = 0;
            if (blosc_cbuffer_validate(block, blockBytes, &uncompressed) != 0 ||
                uncompressed > std::max<uint64_t>(rawBytes, BloscPaddedBytes)) {
                OPENVDB_THROW(openvdb::IoError, "broken Blosc buffer in the delayed-load table");
            }
        }
    }

    static int fixedMetadataBytes(const std::string& type) {
        static const std::pair<const char*, int> sizes[] = {
            {"bool", 1},    {"float", 4},   {"double", 8},  {"int32", 4},       {"int64", 8},
            {"vec2i", 8},   {"vec2s", 8},   {"vec2d", 16},  {"vec3i", 12},      {"vec3s", 12},
            {"vec3d", 24},  {"vec4i", 16},  {"vec4s", 16},  {"vec4d", 32},      {"mat4s", 64},
            {"mat4d", 128}, {"ptidx32", 4}, {"ptidx64", 8}, {"ptdataidx32", 4}, {"ptdataidx64", 8}};
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

    // Names and type names that matter are short; a longer one is skipped and matches none.
    std::string ShortString() {
        const uint32_t bytes = Length();
        std::string text;
        if (bytes > 64) {
            Skip(bytes);
            return text;
        }
        text.resize(bytes);
        stream.read(&text[0], bytes);
        checkStream(stream);
        return text;
    }

    std::istream& stream;
    std::streamoff fileBytes;
};

// Checks the length-prefixed blocks ahead of the stream position, then rewinds.
template <typename Check>
void checkAhead(std::istream& stream, std::streamoff fileBytes, Check check) {
    const std::streampos start = stream.tellg();
    HeaderScan scan(stream, fileBytes);
    check(scan);
    stream.seekg(start);
}

bool hasInstancing(std::istream& stream) {
    return openvdb::io::getFormatVersion(stream) >= openvdb::OPENVDB_FILE_VERSION_GRID_INSTANCING;
}

// Reads a transform the way the grid header stores it, its type name length checked first.
void readTransformChecked(std::istream& stream, std::streamoff fileBytes, openvdb::GridBase& grid) {
    checkAhead(stream, fileBytes, [](HeaderScan& type) { type.Block(); });
    grid.readTransform(stream);
    checkStream(stream);
}

// The header and descriptor readers and the grid reader are protected members of Archive.
class DescriptorWalk : public openvdb::io::Archive {
public:
    DescriptorWalk(std::istream& input, std::streamoff inputBytes)
        : stream(input), fileBytes(inputBytes) {}

    VdbFileInfo Read() {
        Begin();
        VdbFileInfo info;
        info.writtenByBridge = HeaderScan(stream, fileBytes).MetaMap().creator == CreatorValue;
        if (!inputHasGridOffsets()) {
            OPENVDB_THROW(openvdb::IoError, "file without grid offsets (format before 2.0)");
        }
        const int32_t gridCount = readGridCount(stream);
        checkStream(stream);
        // A descriptor takes at least 28 bytes: two string lengths and three offsets.
        if (gridCount < 0 || gridCount > fileBytes / 28) {
            OPENVDB_THROW(openvdb::IoError, "grid count beyond the file size");
        }
        const bool instancing = hasInstancing(stream);
        for (int32_t g = 0; g < gridCount; ++g) {
            checkAhead(stream, fileBytes, [instancing](HeaderScan& names) {
                names.Block();
                names.Block();
                if (instancing) {
                    names.Block();
                }
            });
            openvdb::io::GridDescriptor descriptor;
            openvdb::GridBase::Ptr grid = descriptor.read(stream);
            checkStream(stream);
            if (descriptor.getGridPos() < 0 || descriptor.getGridPos() >= fileBytes ||
                descriptor.getEndPos() < 0 || descriptor.getEndPos() > fileBytes) {
                OPENVDB_THROW(openvdb::IoError, "grid offsets beyond the file size");
            }
            info.grids.push_back(ReadGridHeader(descriptor, *grid));
            descriptor.seekToEnd(stream);
            checkStream(stream);
        }
        linkInstances(info.grids);
        return info;
    }

    openvdb::GridBase::Ptr ReadGrid(const VdbFileInfo& file, int gridIndex) {
        Begin();
        const VdbGridInfo& grid = file.grids.at(static_cast<size_t>(gridIndex));
        if (grid.treeGrid < 0) {
            OPENVDB_THROW(openvdb::IoError, "instance of a grid the file does not hold");
        }
        const VdbGridInfo& source = file.grids[static_cast<size_t>(grid.treeGrid)];
        stream.seekg(source.treePos);
        checkStream(stream);
        // Before instancing, the transform sits between the topology and the buffers.
        std::function<void(std::istream&)> skipTransform;
        if (!hasInstancing(stream)) {
            skipTransform = [this, &source](std::istream& input) {
                readTransformChecked(input, fileBytes, *Create(source));
            };
        }
        checkStoredTree(stream, fileBytes, source.stored, skipTransform);

        openvdb::GridBase::Ptr result = Load(grid);
        if (grid.treeGrid != gridIndex) {
            result->setTree(Load(source)->baseTreePtr());
        }
        return result;
    }

private:
    // Tags the stream with what the file header says, as io::File::open does.
    void Begin() {
        stream.clear();
        stream.seekg(0, std::ios::beg);
        // OpenVDB reads a newer format with only a warning on stderr; its layout is unknown
        // here, so such a file is refused instead.
        uint8_t start[12] = {};
        stream.read(reinterpret_cast<char*>(start), sizeof start);
        checkStream(stream);
        if (readLE32(start + 8) > openvdb::OPENVDB_FILE_VERSION) {
            OPENVDB_THROW(openvdb::IoError, "file format newer than this reader's");
        }
        stream.seekg(0, std::ios::beg);
        readHeader(stream);
        checkStream(stream);
        openvdb::io::setStreamMetadataPtr(stream, streamMetadata, /*transfer=*/false);
        openvdb::io::setVersion(stream, libraryVersion(), fileVersion());
        setDataCompression(stream);
    }

    static openvdb::GridBase::Ptr Create(const VdbGridInfo& grid) {
        openvdb::GridBase::Ptr created = openvdb::GridBase::createGrid(grid.descriptor.gridType());
        created->setSaveFloatAsHalf(grid.descriptor.saveFloatAsHalf());
        return created;
    }

    openvdb::GridBase::Ptr Load(const VdbGridInfo& grid) {
        openvdb::GridBase::Ptr loaded = Create(grid);
        stream.clear();
        grid.descriptor.seekToGrid(stream);
        readGrid(loaded, grid.descriptor, stream);
        checkStream(stream);
        return loaded;
    }

    VdbGridInfo ReadGridHeader(const openvdb::io::GridDescriptor& descriptor,
                               openvdb::GridBase& grid) {
        VdbGridInfo info;
        info.name = descriptor.gridName();
        info.lookupName = openvdb::io::GridDescriptor::nameAsString(descriptor.uniqueName());
        info.kind = kindOf(grid);
        info.descriptor = descriptor;

        descriptor.seekToGrid(stream);
        readGridCompression(stream);
        const uint32_t compression = openvdb::io::getDataCompression(stream);
        const ScannedMetadata metadata = HeaderScan(stream, fileBytes).MetaMap();
        const openvdb::GridClass gridClass =
            openvdb::GridBase::stringToGridClass(metadata.gridClass);
        info.levelSet = gridClass == openvdb::GRID_LEVEL_SET;
        info.staggered = gridClass == openvdb::GRID_STAGGERED;
        // An empty grid stores min above max; CoordBBox keeps that as an empty box.
        info.hasActiveBox = metadata.hasMin && metadata.hasMax;
        info.activeBox = openvdb::CoordBBox(metadata.min, metadata.max);
        // Older files store the transform after the topology; the import reads it there.
        if (hasInstancing(stream)) {
            readTransformChecked(stream, fileBytes, grid);
            info.transform = grid.transformPtr();
        }
        info.treePos = stream.tellg();

        const bool real = info.kind == VdbValueKind::Float || info.kind == VdbValueKind::Double ||
                          isVectorKind(info.kind);
        info.stored.fileVersion = fileVersion();
        info.stored.compression = compression;
        info.stored.valueBytes = valueBytesOf(info.kind);
        info.stored.halfFloat = real && metadata.savedAsHalf;
        info.stored.vectorValues = isVectorKind(info.kind);
        info.stored.boolValues = info.kind == VdbValueKind::Bool;
        return info;
    }

    // A grid uses its own tree, or an instance that of its parent, found by unique name.
    // OpenVDB would follow a chain of instances without end, so the parent must own a tree.
    static void linkInstances(VdbGridCatalog& grids) {
        for (size_t g = 0; g < grids.size(); ++g) {
            const openvdb::io::GridDescriptor& descriptor = grids[g].descriptor;
            if (!descriptor.isInstance()) {
                grids[g].treeGrid = static_cast<int>(g);
                continue;
            }
            for (size_t parent = 0; parent < grids.size(); ++parent) {
                const openvdb::io::GridDescriptor& candidate = grids[parent].descriptor;
                if (candidate.uniqueName() == descriptor.instanceParentName()) {
                    if (!candidate.isInstance() && grids[parent].kind == grids[g].kind) {
                        grids[g].treeGrid = static_cast<int>(parent);
                    }
                    break;
                }
            }
        }
    }

    std::istream& stream;
    std::streamoff fileBytes;
    // The stream refers to it without owning it.
    std::shared_ptr<openvdb::io::StreamMetadata> streamMetadata =
        std::make_shared<openvdb::io::StreamMetadata>();
};

// Opens the file and measures it; every length read from it is checked against that size.
template <typename Work>
auto withFile(const std::string& path, Work work)
    -> decltype(work(std::declval<std::istream&>(), std::streamoff())) {
    std::ifstream stream(path, std::ios::in | std::ios::binary);
    if (!stream) {
        OPENVDB_THROW(openvdb::IoError, "cannot open the file");
    }
    stream.seekg(0, std::ios::end);
    const std::streamoff fileBytes = stream.tellg();
    stream.seekg(0, std::ios::beg);
    checkStream(stream);
    return work(stream, fileBytes);
}

} // namespace

VdbFileInfo readFileInfo(const std::string& path) {
    return withFile(path, [](std::istream& stream, std::streamoff fileBytes) {
        return DescriptorWalk(stream, fileBytes).Read();
    });
}

openvdb::GridBase::Ptr readGrid(const std::string& path, const VdbFileInfo& file, int gridIndex) {
    return withFile(path, [&](std::istream& stream, std::streamoff fileBytes) {
        return DescriptorWalk(stream, fileBytes).ReadGrid(file, gridIndex);
    });
}

bool isVectorKind(VdbValueKind kind) {
    return kind == VdbValueKind::Vec3f || kind == VdbValueKind::Vec3d;
}

} // namespace vdbbridge
