// SPDX-License-Identifier: Apache-2.0
// Raised by the cache file's checked reads, seeks and writes. It never leaves the reader
// or the writer: each catches it once at its top level and turns it into a result code.
#pragma once

class IOErrException {};
