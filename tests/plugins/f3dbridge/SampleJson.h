// SPDX-License-Identifier: Apache-2.0
// Just enough JSON to read the sample descriptions next to the foreign cache files:
// objects, arrays, strings with simple escapes, numbers, true, false and null.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };

    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0.0;
    std::string text;
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;

    bool has(const char* key) const;
    // The member `key`; a null value when absent.
    const JsonValue& operator[](const char* key) const;
    const JsonValue& operator[](int index) const { return items.at(static_cast<size_t>(index)); }
    size_t size() const { return items.size(); }
};

// Parses the file; throws std::runtime_error on a syntax error or a missing file.
JsonValue readJsonFile(const std::string& path);
