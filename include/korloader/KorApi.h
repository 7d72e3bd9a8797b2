// SPDX-License-Identifier: Apache-2.0
// The export macro: everything else in the library is hidden.
#pragma once

#if defined(_WIN32)
#if defined(KORLOADER_BUILDING)
#define KOR_API __declspec(dllexport)
#else
#define KOR_API __declspec(dllimport)
#endif
#else
#define KOR_API __attribute__((visibility("default")))
#endif
