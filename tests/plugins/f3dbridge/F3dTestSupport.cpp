// SPDX-License-Identifier: Apache-2.0
#include "tests/plugins/f3dbridge/F3dTestSupport.h"

namespace f3dtest {

Imported importF3d(const std::string& path, const Mappings& mappings, bool headerOnly,
                   int64_t voxelBudget) {
    std::vector<CacheIO::GridMapping> records;
    for (const auto& mapping : mappings) {
        records.emplace_back(mapping.first.c_str(), mapping.second);
    }
    Imported imported{F3dResult::Ok, std::make_unique<FluxaFrameData>()};
    imported.result =
        fillFrameFromF3d(path.c_str(), imported.frame.get(), headerOnly, records.data(),
                         static_cast<int>(records.size()), voxelBudget);
    return imported;
}

std::vector<std::pair<std::string, bool>> listChannels(const std::string& path) {
    CacheIO::AvailableChannelList list;
    appendF3dChannels(path.c_str(), &list);
    std::vector<std::pair<std::string, bool>> channels;
    for (int32_t i = 0; i < list.Count(); ++i) {
        channels.emplace_back(list[i].name.Chars(), list[i].flag);
    }
    return channels;
}

std::string samplePath(const std::string& name) {
    return std::string(KOR_F3D_SAMPLES) + "/" + name;
}

} // namespace f3dtest
