// SPDX-License-Identifier: Apache-2.0
// The library's byte string. Its heap block is shared with the plug-in modules, which
// read and write strings inside the records they exchange with us, so the header in front
// of the characters is a binary interface:
//   chars - 16  int32    capacity: characters the block holds besides the terminator
//   chars - 12  int32    length: characters before the terminator
//   chars -  8  pointer  UTF-16 copy owned by the string (null unless someone made one)
//   chars       length + 1 bytes, zero-terminated
// A block for n characters takes n + 17 + (n + 17) / 8 bytes from malloc.
#pragma once

#include <cstdint>
#include <cstdio>

class CharString {
public:
    CharString();
    CharString(const char* text); // NOLINT: strings convert implicitly, as they always have
    CharString(const CharString& other);
    ~CharString();

    CharString& operator=(const CharString& other);
    CharString& operator=(const char* text);
    CharString& operator+=(const CharString& other) { return Append(other.chars, other.Length()); }
    CharString& operator+=(const char* text);
    CharString& operator+=(char character) { return Append(&character, 1); }

    // Replaces the content with printf-style output.
    void Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Terminates at n and sets the length; -1 recounts up to the first zero byte.
    void SetLength(int32_t n);
    // Cuts to n when n is below the length (a negative n cuts to 0).
    void Truncate(int32_t n);
    void Clear() {
        SetLength(0);
    }
    void RemoveLast();
    // A to Z only.
    void ToLower();

    int32_t Length() const;
    int32_t Capacity() const;
    bool IsEmpty() const {
        return Length() == 0;
    }
    const char* Chars() const {
        return chars;
    }
    char* Chars() {
        return chars;
    }
    char Last() const;

    bool Equals(const CharString& other) const;
    // A null text equals only the empty string.
    bool Equals(const char* text) const;

    // Reads a signed 32-bit length, then that many bytes. False, with the string unchanged,
    // for a negative length or one beyond bytesLeft (which counts the length field too),
    // a short read or exhausted memory.
    bool ReadFrom(FILE* file, int64_t bytesLeft);

private:
    CharString& Append(const char* text, int32_t textLength);
    // Makes room for newLength characters; false (string unchanged) on exhausted memory.
    bool Reserve(int64_t newLength);
    void SetLengthField(int32_t length);

    char* chars;
};

static_assert(sizeof(CharString) == sizeof(char*), "a CharString is one pointer");
