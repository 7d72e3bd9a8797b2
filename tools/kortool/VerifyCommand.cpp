// SPDX-License-Identifier: Apache-2.0
// kortool verify: opens each frame and decodes every grid and particle channel. Some
// damage shows only in the library's log (a broken zone of a container costs that zone,
// not the channel), so the log is read back after each file and any refusal found there
// marks the file unsound as well.
#include "Commands.h"
#include "FrameStats.h"
#include "tools/common/FrameNames.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kortool {

namespace {

// Log lines that mean data could not be read as stored.
const char* const DamageMarks[] = {"Codec stream refused", "Invalid cache file",
                                   "Error decompressing",  "decompressChannel failed",
                                   "broken or bad memory", "[ERROR]"};

class LogWatch {
public:
    explicit LogWatch(const std::string& userLog) : path(userLog) {
        if (path.empty()) {
            char name[] = "/tmp/kortool-verify-XXXXXX";
            const int descriptor = mkstemp(name);
            if (descriptor >= 0) {
                close(descriptor);
                path = name;
                temporary = true;
                korSetLogFile(path.c_str(), 1);
            }
        }
    }
    ~LogWatch() {
        if (temporary) {
            korSetLogFile(nullptr, 0);
            std::remove(path.c_str());
        }
    }
    LogWatch(const LogWatch&) = delete;
    LogWatch& operator=(const LogWatch&) = delete;

    // The first damage line logged since the last call, or "".
    std::string NextDamage() {
        std::ifstream log(path, std::ios::binary);
        log.seekg(std::streamoff(seen));
        std::string line;
        std::string damage;
        while (std::getline(log, line)) {
            seen += line.size() + 1;
            for (const char* mark : DamageMarks) {
                if (damage.empty() && line.find(mark) != std::string::npos) {
                    damage = line;
                }
            }
        }
        return damage;
    }

private:
    std::string path;
    bool temporary = false;
    size_t seen = 0;
};

// "" when every channel decodes, else what failed.
std::string decodeEverything(IKor& frame) {
    for (const ChannelStats& channel : channelStats(frame)) {
        if (channel.values == nullptr) {
            return "grid channel " + std::to_string(channel.slot) + " (" + channel.name +
                   ") cannot be decoded";
        }
    }
    const int groups = frame.getParticleGroupCount();
    for (int g = 0; g < groups; ++g) {
        IFluxaSimPrtGroup* group = frame.getParticleGroup(unsigned(g));
        const int count = group != nullptr ? group->getParticleCount() : 0;
        for (int channel = 0; channel < 32 && count > 0; ++channel) {
            char value[16];
            // The first value decodes the whole channel.
            if (group->getChannelSize(channel) > 0 && group->hasChannel(channel) &&
                !group->getValue(0, channel, value)) {
                return "particle channel " + particleChannelName(channel) + " of group \"" +
                       group->getName() + "\" cannot be decoded";
            }
        }
    }
    return "";
}

} // namespace

int runVerify(const std::vector<std::string>& files, const std::string& logPath) {
    LogWatch log(logPath);
    int unsound = 0;
    for (const std::string& path : files) {
        log.NextDamage();
        std::string problem;
        int channels = 0;
        int groups = 0;
        {
            const FrameHandle frame = openFrame(path);
            if (!frame) {
                problem = "cannot be opened (missing, unreadable, truncated or broken)";
            } else {
                problem = decodeEverything(*frame);
                channels = int(channelStats(*frame).size());
                groups = frame->getParticleGroupCount();
            }
        }
        const std::string damage = log.NextDamage();
        if (problem.empty() && !damage.empty()) {
            problem = "damaged data: " + damage;
        }
        if (problem.empty()) {
            std::printf("OK      %s (grid channels: %d, particle groups: %d)\n", path.c_str(),
                        channels, groups);
        } else {
            std::printf("FAILED  %s: %s\n", path.c_str(), problem.c_str());
            ++unsound;
        }
    }
    return unsound == 0 ? 0 : 1;
}

} // namespace kortool
