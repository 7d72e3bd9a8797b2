// SPDX-License-Identifier: Apache-2.0
#include "support/FramePattern.h"

#include "support/Paths.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int MaxWidth = 12;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

struct Pattern {
    int length = 0; // bytes of path text the pattern covers; 0: no pattern here
    int width = 0;
    bool zeroPad = false;
    bool isUnsigned = false;
};

// Reads the optional '0' and width digits at text; returns the bytes read.
int readWidth(const char* text, Pattern& pattern) {
    int read = 0;
    if (text[read] == '0') {
        pattern.zeroPad = true;
        ++read;
    }
    int width = 0;
    while (isDigit(text[read])) {
        // Clamped as it goes: a thousand digits must not overflow.
        width = width * 10 + (text[read] - '0');
        if (width > MaxWidth) {
            width = MaxWidth;
        }
        ++read;
    }
    pattern.width = width;
    return read;
}

// What stands at text: a pattern, or how much ordinary text to copy before looking again.
struct ScanStep {
    Pattern pattern;
    int ordinaryBytes = 0; // bytes to copy unchanged; -1 ends the scan after copying the rest
};

ScanStep scanAt(const char* text) {
    ScanStep step;
    switch (text[0]) {
    case '%': {
        if (text[1] == '%') {
            step.ordinaryBytes = 2;
            return step;
        }
        Pattern pattern;
        const int widthBytes = readWidth(text + 1, pattern);
        const char letter = text[1 + widthBytes];
        if (std::strchr("dDiIuU", letter) != nullptr && letter != '\0') {
            pattern.isUnsigned = letter == 'u' || letter == 'U';
            pattern.length = 2 + widthBytes;
            step.pattern = pattern;
        } else {
            step.ordinaryBytes = 1;
        }
        return step;
    }
    case '<': {
        if (text[1] == '\0') {
            step.ordinaryBytes = -1;
            return step;
        }
        if (std::strncmp(text + 1, "frame", 5) != 0) {
            // Steps over the character after '<' too; names rely on the quirk.
            step.ordinaryBytes = 2;
            return step;
        }
        Pattern pattern;
        const int widthBytes = readWidth(text + 6, pattern);
        if (text[6 + widthBytes] == '>') {
            pattern.length = 7 + widthBytes;
            step.pattern = pattern;
        } else {
            step.ordinaryBytes = 1;
        }
        return step;
    }
    case '#': {
        Pattern pattern;
        int run = 0;
        while (text[run] == '#') {
            ++run;
        }
        pattern.length = run;
        pattern.width = run > MaxWidth ? MaxWidth : run;
        pattern.zeroPad = true;
        step.pattern = pattern;
        return step;
    }
    default:
        step.ordinaryBytes = 1;
        return step;
    }
}

} // namespace

bool hasFramePattern(const char* path) {
    if (path == nullptr) {
        return false;
    }
    const char* cursor = path;
    while (*cursor != '\0') {
        const ScanStep step = scanAt(cursor);
        if (step.pattern.length > 0) {
            return true;
        }
        if (step.ordinaryBytes < 0) {
            return false;
        }
        // Never step over the terminator ("<" followed by the end was handled above).
        cursor += step.ordinaryBytes;
    }
    return false;
}

CharString expandFramePattern(const char* path, int32_t frame, const char* replacement) {
    CharString expanded;
    if (path == nullptr) {
        return expanded;
    }
    const CharString directory = splitPath(path);
    expanded = directory;
    const char* cursor = path + directory.Length();
    char text[16];
    while (*cursor != '\0') {
        const ScanStep step = scanAt(cursor);
        if (step.pattern.length > 0) {
            if (frame == noFrame) {
                copyBounded(text, replacement != nullptr ? replacement : "", sizeof text);
            } else {
                formatFrameNumber(text, frame, step.pattern.isUnsigned, step.pattern.width,
                                  step.pattern.zeroPad);
            }
            expanded += text;
            cursor += step.pattern.length;
            continue;
        }
        if (step.ordinaryBytes < 0) {
            expanded += cursor;
            break;
        }
        for (int i = 0; i < step.ordinaryBytes; ++i) {
            expanded += cursor[i];
        }
        cursor += step.ordinaryBytes;
    }
    return expanded;
}

void formatFrameNumber(char (&text)[16], int32_t value, bool isUnsigned, int width, bool zeroPad) {
    if (value == emptyFrame) {
        text[0] = '\0';
        return;
    }
    const int clampedWidth = width < 0 ? 0 : (width > MaxWidth ? MaxWidth : width);
    if (isUnsigned) {
        std::snprintf(text, sizeof text, zeroPad ? "%0*u" : "%*u", clampedWidth,
                      static_cast<uint32_t>(value));
    } else {
        std::snprintf(text, sizeof text, zeroPad ? "%0*d" : "%*d", clampedWidth, value);
    }
}

int32_t frameNumberFromFileName(const char* path) {
    if (path == nullptr) {
        return noFrame;
    }
    const char* dot = std::strrchr(path, '.');
    const char* slash = std::strrchr(path, '/');
    const char* backslash = std::strrchr(path, '\\');
    const char* separator = slash > backslash ? slash : backslash;
    if (dot == nullptr || (separator != nullptr && dot < separator)) {
        return noFrame;
    }
    const char* digitsEnd = dot;
    while (digitsEnd > path && !isDigit(digitsEnd[-1])) {
        if (isSeparator(digitsEnd[-1])) {
            return noFrame;
        }
        --digitsEnd;
    }
    if (digitsEnd == path) {
        return noFrame;
    }
    const char* digitsBegin = digitsEnd;
    while (digitsBegin > path && isDigit(digitsBegin[-1])) {
        --digitsBegin;
    }
    const bool negative = digitsBegin > path && digitsBegin[-1] == '-';
    // Read by hand: a digit run longer than an int must not be undefined behaviour.
    int64_t magnitude = 0;
    for (const char* digit = digitsBegin; digit < digitsEnd; ++digit) {
        magnitude = magnitude * 10 + (*digit - '0');
        if (magnitude > int64_t(INT32_MAX) + 1) {
            return noFrame;
        }
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX) {
        return noFrame;
    }
    return static_cast<int32_t>(value);
}
