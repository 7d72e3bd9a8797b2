// SPDX-License-Identifier: Apache-2.0
// Path pieces the readers choose by. Both separators count on every platform, because
// cache paths travel between Windows and Linux farms.
#pragma once

#include "support/CharString.h"

// Text after the last '.' anywhere in the path (directories included), lower-cased
// A to Z; empty without a '.'.
CharString getExtension(const char* path);

// The path up to and including its last '/' or '\\'; empty without a separator.
CharString splitPath(const char* path);

// Copies at most size - 1 bytes of source and always terminates. Returns the bytes written
// including the terminator; a size below 1 writes nothing and returns 0.
int copyBounded(char* destination, const char* source, int size);

// Creates every missing directory level of the directory part of path, from the root
// down; levels that exist already are fine.
void createPathDirectories(const char* path);
