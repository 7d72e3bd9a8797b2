// SPDX-License-Identifier: Apache-2.0
#include "FrameSequence.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>

namespace kortool {

namespace {

struct PatternParts {
    std::string directory;
    std::string before;
    size_t width = 0;
    std::string after;
};

PatternParts splitPattern(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    PatternParts parts;
    parts.directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t first = name.find('#');
    if (first == std::string::npos) {
        parts.before = name;
        return parts;
    }
    const size_t last = name.find_first_not_of('#', first);
    parts.before = name.substr(0, first);
    parts.width = (last == std::string::npos ? name.size() : last) - first;
    parts.after = last == std::string::npos ? "" : name.substr(last);
    return parts;
}

std::string escaped(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

int trailingNumber(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    static const std::regex digits(R"((-?\d{1,9})\D*$)");
    std::smatch match;
    return std::regex_search(name, match, digits) ? std::stoi(match[1]) : 0;
}

} // namespace

bool isFramePattern(const std::string& path) {
    return splitPattern(path).width > 0;
}

std::vector<SequenceFrame> listFrames(const std::string& path) {
    const PatternParts parts = splitPattern(path);
    if (parts.width == 0) {
        return {{path, trailingNumber(path)}};
    }
    const std::regex name(escaped(parts.before) + "(-?\\d{" + std::to_string(parts.width) + ",9})" +
                          escaped(parts.after));
    std::vector<SequenceFrame> frames;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(parts.directory, error)) {
        const std::string file = entry.path().filename().string();
        std::smatch match;
        if (entry.is_regular_file(error) && std::regex_match(file, match, name)) {
            const std::string prefix = path.substr(
                0, path.size() - (parts.before.size() + parts.width + parts.after.size()));
            frames.push_back({prefix + file, std::stoi(match[1])});
        }
    }
    std::sort(frames.begin(), frames.end(),
              [](const SequenceFrame& a, const SequenceFrame& b) { return a.number < b.number; });
    return frames;
}

} // namespace kortool
