// SPDX-License-Identifier: Apache-2.0
// kortool convert: each frame is opened as a host would (foreign files through their
// plug-in and a mapping), copied channel by channel into the public frame writer and saved
// as "kor" (re-encoded at --bits) or "vdb" (through the plug-in's export, exact values).
#include "Commands.h"
#include "FrameSequence.h"
#include "FrameStats.h"
#include "tools/common/FrameNames.h"

#include <chrono>
#include <cstdio>
#include <korloader/IKorWriter.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace kortool {

namespace {

// Particle channels are re-stored losslessly.
constexpr int ParticleMethod = 1;
constexpr int ExactBits = 32;

struct WriterRelease {
    void operator()(IKorWriter* writer) const { deleteIKorWriter(writer); }
};
using WriterHandle = std::unique_ptr<IKorWriter, WriterRelease>;

bool hasVelocity(IKor& frame) {
    return frame.hasChannel(FluxaEnum::VelocityX) && frame.hasChannel(FluxaEnum::VelocityY) &&
           frame.hasChannel(FluxaEnum::VelocityZ);
}

std::string copyGrid(IKor& frame, IKorWriter& writer, int bits) {
    int size[3];
    frame.getGridSize(size);
    float transform[12];
    frame.getTransform(transform);
    if (!writer.setGridSize(size[0], size[1], size[2]) || !writer.setTransform(transform)) {
        return writer.getLastError();
    }
    for (int slot = 0; slot < FluxaEnum::GridChannelCount; ++slot) {
        // Speed is derived from the velocity again when the copy is read.
        if (!frame.hasChannel(slot) || (slot == FluxaEnum::Speed && hasVelocity(frame))) {
            continue;
        }
        const float* values = frame.getChannel(slot);
        if (values == nullptr) {
            return "grid channel " + gridChannelName(slot) + " cannot be decoded";
        }
        const bool velocity = slot >= FluxaEnum::VelocityX && slot <= FluxaEnum::VelocityZ;
        if (!writer.setChannel(slot, values, bits, 0.0f, velocity ? 2 : 1)) {
            return writer.getLastError() + std::string(bits < 20 ? " (--bits 32 keeps values "
                                                                   "exactly)"
                                                                 : "");
        }
    }
    return "";
}

std::string copyParticles(IKor& frame, IKorWriter& writer) {
    for (const GroupStats& stats : groupStats(frame)) {
        IFluxaSimPrtGroup* group = frame.getParticleGroupByName(stats.name.c_str());
        const int index = writer.addParticleGroup(stats.name.c_str(), stats.count);
        if (group == nullptr || index < 0) {
            return "particle group \"" + stats.name + "\" cannot be copied";
        }
        for (const int channel : stats.channels) {
            const size_t bytes = size_t(group->getChannelSize(channel));
            std::vector<char> values(bytes * size_t(stats.count));
            for (int i = 0; i < stats.count; ++i) {
                if (!group->getValue(i, channel, values.data() + bytes * size_t(i))) {
                    return "particle channel " + particleChannelName(channel) + " of \"" +
                           stats.name + "\" cannot be decoded";
                }
            }
            if (!writer.setParticleChannel(index, channel, values.data(), ParticleMethod,
                                           ExactBits)) {
                return writer.getLastError();
            }
        }
    }
    return "";
}

// "" when the frame was converted, else why not.
std::string convertFrame(const SequenceFrame& input, const ConvertOptions& options, bool toVdb,
                         bool& droppedParticles) {
    const FrameHandle frame = openFrame(input.path, options.mapping);
    if (!frame) {
        return "cannot be opened (missing, broken, no plug-in, or no grid the mapping names)";
    }
    const WriterHandle writer(newIKorWriter());
    if (!writer) {
        return "out of memory";
    }
    writer->setFrameNumber(input.number);
    std::string problem = copyGrid(*frame, *writer, options.bits);
    if (problem.empty() && !toVdb) {
        problem = copyParticles(*frame, *writer);
    }
    droppedParticles = droppedParticles || (toVdb && frame->getParticleGroupCount() > 0);
    if (problem.empty() && !writer->save(options.output.c_str())) {
        problem = writer->getLastError();
    }
    return problem;
}

void showProgress(size_t done, size_t total, const std::string& current) {
    constexpr size_t Width = 30;
    const size_t filled = total > 0 ? done * Width / total : Width;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu %s\033[K", std::string(filled, '#').c_str(),
                 std::string(Width - filled, '-').c_str(), done, total, current.c_str());
    std::fflush(stderr);
}

} // namespace

int runConvert(const ConvertOptions& options) {
    const std::string from = frameFormat(options.input);
    const std::string to = frameFormat(options.output);
    if (from.empty() || (to != "kor" && to != "vdb")) {
        std::fprintf(stderr, "kortool convert: converts kor, vdb or f3d frames to kor or vdb "
                             "(by the file extensions)\n");
        return 2;
    }
    const std::vector<SequenceFrame> frames = listFrames(options.input);
    if (frames.empty()) {
        std::fprintf(stderr, "kortool convert: no file matches %s\n", options.input.c_str());
        return 1;
    }
    if (isFramePattern(options.input) && !isFramePattern(options.output)) {
        std::fprintf(stderr,
                     "kortool convert: a sequence needs an output pattern with '#'s, "
                     "such as smoke.####.%s\n",
                     to.c_str());
        return 2;
    }
    const bool terminal = isatty(STDERR_FILENO) != 0;
    const auto start = std::chrono::steady_clock::now();
    size_t failed = 0;
    bool droppedParticles = false;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (terminal) {
            showProgress(i, frames.size(), frames[i].path);
        }
        const std::string problem = convertFrame(frames[i], options, to == "vdb", droppedParticles);
        if (!problem.empty()) {
            std::fprintf(stderr, "%skortool convert: %s: %s\n", terminal ? "\r\033[K" : "",
                         frames[i].path.c_str(), problem.c_str());
            ++failed;
        }
    }
    if (terminal) {
        showProgress(frames.size(), frames.size(), "");
        std::fprintf(stderr, "\n");
    }
    if (droppedParticles) {
        std::fprintf(stderr, "kortool convert: note: particle groups are not carried into "
                             "VDB files\n");
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("converted %zu of %zu frame%s to %s in %.2f s\n", frames.size() - failed,
                frames.size(), frames.size() == 1 ? "" : "s", options.output.c_str(), seconds);
    return failed == 0 ? 0 : 1;
}

} // namespace kortool
