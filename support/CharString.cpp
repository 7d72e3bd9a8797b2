// SPDX-License-Identifier: Apache-2.0
#include "support/CharString.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr int64_t HeaderBytes = 16;
constexpr int64_t CapacityOffset = -16;
constexpr int64_t LengthOffset = -12;
constexpr int64_t WideOffset = -8;

static_assert(sizeof(void*) == 8, "the shared header assumes 64-bit pointers");

// Strings whose allocation failed point here: length and capacity 0, so every growth
// attempts a real allocation, and destruction knows not to free it.
alignas(8) unsigned char fallbackBlock[HeaderBytes + 8] = {};
char* const fallbackChars = reinterpret_cast<char*>(fallbackBlock + HeaderBytes);

int32_t readHeader(const char* chars, int64_t offset) {
    int32_t value;
    std::memcpy(&value, chars + offset, sizeof value);
    return value;
}

void writeHeader(char* chars, int64_t offset, int32_t value) {
    std::memcpy(chars + offset, &value, sizeof value);
}

void* wideCopy(const char* chars) {
    void* wide;
    std::memcpy(&wide, chars + WideOffset, sizeof wide);
    return wide;
}

int64_t blockBytesFor(int64_t length) {
    return length + 17 + (length + 17) / 8;
}

// A fresh block for `length` characters, empty; null on exhausted memory or absurd size.
char* allocateBlock(int64_t length) {
    const int64_t bytes = blockBytesFor(length);
    if (length < 0 || bytes - 17 > std::numeric_limits<int32_t>::max()) {
        return nullptr;
    }
    auto* block = static_cast<char*>(std::malloc(static_cast<size_t>(bytes)));
    if (block == nullptr) {
        return nullptr;
    }
    char* chars = block + HeaderBytes;
    writeHeader(chars, CapacityOffset, static_cast<int32_t>(bytes - 17));
    writeHeader(chars, LengthOffset, 0);
    void* const noWide = nullptr;
    std::memcpy(chars + WideOffset, &noWide, sizeof noWide);
    chars[0] = '\0';
    return chars;
}

char* allocateOrFallback(int64_t length) {
    char* chars = allocateBlock(length);
    return chars != nullptr ? chars : fallbackChars;
}

void releaseBlock(char* chars) {
    if (chars == fallbackChars) {
        return;
    }
    std::free(wideCopy(chars));
    std::free(chars - HeaderBytes);
}

} // namespace

CharString::CharString() : chars(allocateOrFallback(0)) {}

CharString::CharString(const char* text) : chars(allocateOrFallback(0)) {
    *this = text;
}

CharString::CharString(const CharString& other) : chars(allocateOrFallback(other.Length())) {
    *this = other;
}

CharString::~CharString() {
    releaseBlock(chars);
}

CharString& CharString::operator=(const CharString& other) {
    if (this != &other) {
        Clear();
        Append(other.chars, other.Length());
    }
    return *this;
}

CharString& CharString::operator=(const char* text) {
    if (text == nullptr) {
        Clear();
        return *this;
    }
    if (text >= chars && text <= chars + Length()) {
        // Assigning a tail of ourselves.
        const CharString copy(text);
        return *this = copy;
    }
    Clear();
    return *this += text;
}

CharString& CharString::operator+=(const char* text) {
    if (text == nullptr) {
        return *this;
    }
    const size_t textLength = std::strlen(text);
    if (textLength > size_t(std::numeric_limits<int32_t>::max())) {
        return *this;
    }
    return Append(text, static_cast<int32_t>(textLength));
}

CharString& CharString::Append(const char* text, int32_t textLength) {
    const int32_t length = Length();
    if (textLength <= 0) {
        return *this;
    }
    // Appending ourselves: remember where the text sits before the block moves.
    const bool fromSelf = text >= chars && text <= chars + length;
    const int64_t selfOffset = fromSelf ? text - chars : 0;
    if (!Reserve(int64_t(length) + textLength)) {
        return *this;
    }
    std::memmove(chars + length, fromSelf ? chars + selfOffset : text, size_t(textLength));
    SetLengthField(length + textLength);
    return *this;
}

void CharString::Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list counting;
    va_copy(counting, arguments);
    const int needed = std::vsnprintf(nullptr, 0, format, counting);
    va_end(counting);
    if (needed >= 0 && Reserve(needed)) {
        std::vsnprintf(chars, size_t(needed) + 1, format, arguments);
        SetLengthField(needed);
    }
    va_end(arguments);
}

void CharString::SetLength(int32_t n) {
    if (n == -1) {
        SetLengthField(static_cast<int32_t>(std::strlen(chars)));
        return;
    }
    if (n < 0 || !Reserve(n)) {
        return;
    }
    SetLengthField(n);
}

void CharString::Truncate(int32_t n) {
    if (n < Length()) {
        SetLengthField(n < 0 ? 0 : n);
    }
}

void CharString::RemoveLast() {
    if (Length() > 0) {
        SetLengthField(Length() - 1);
    }
}

void CharString::ToLower() {
    for (int32_t i = 0; i < Length(); ++i) {
        if (chars[i] >= 'A' && chars[i] <= 'Z') {
            chars[i] = static_cast<char>(chars[i] - 'A' + 'a');
        }
    }
}

int32_t CharString::Length() const {
    return readHeader(chars, LengthOffset);
}
int32_t CharString::Capacity() const {
    return readHeader(chars, CapacityOffset);
}
char CharString::Last() const {
    return Length() > 0 ? chars[Length() - 1] : '\0';
}

bool CharString::Equals(const CharString& other) const {
    return Length() == other.Length() && std::memcmp(chars, other.chars, size_t(Length())) == 0;
}

bool CharString::Equals(const char* text) const {
    if (text == nullptr) {
        return IsEmpty();
    }
    return std::strlen(text) == size_t(Length()) && std::memcmp(chars, text, size_t(Length())) == 0;
}

bool CharString::ReadFrom(FILE* file, int64_t bytesLeft) {
    unsigned char lengthBytes[4];
    if (std::fread(lengthBytes, 1, 4, file) != 4) {
        return false;
    }
    const int32_t length =
        static_cast<int32_t>(uint32_t(lengthBytes[0]) | uint32_t(lengthBytes[1]) << 8 |
                             uint32_t(lengthBytes[2]) << 16 | uint32_t(lengthBytes[3]) << 24);
    // A hostile length must not turn into a huge allocation.
    if (length < 0 || int64_t(length) > bytesLeft - 4) {
        return false;
    }
    CharString read;
    if (!read.Reserve(length) ||
        std::fread(read.chars, 1, size_t(length), file) != size_t(length)) {
        return false;
    }
    read.SetLengthField(length);
    *this = read;
    return Length() == length;
}

bool CharString::Reserve(int64_t newLength) {
    if (newLength < Capacity()) {
        return true;
    }
    char* grown = allocateBlock(newLength);
    if (grown == nullptr) {
        return false;
    }
    const int32_t length = Length();
    std::memcpy(grown, chars, size_t(length) + 1);
    writeHeader(grown, LengthOffset, length);
    // The UTF-16 copy travels with the characters.
    std::memcpy(grown + WideOffset, chars + WideOffset, sizeof(void*));
    if (chars != fallbackChars) {
        std::free(chars - HeaderBytes);
    }
    chars = grown;
    return true;
}

void CharString::SetLengthField(int32_t length) {
    if (chars == fallbackChars) {
        return;
    }
    writeHeader(chars, LengthOffset, length);
    chars[length] = '\0';
}
