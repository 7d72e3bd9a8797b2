// SPDX-License-Identifier: Apache-2.0
#include "tests/plugins/f3dbridge/SampleJson.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

class JsonParser {
public:
    explicit JsonParser(std::string source) : text(std::move(source)) {}

    JsonValue parseDocument() {
        JsonValue value = parseValue();
        skipSpace();
        if (position != text.size()) {
            fail("trailing characters");
        }
        return value;
    }

private:
    [[noreturn]] void fail(const char* what) const {
        throw std::runtime_error(std::string("JSON: ") + what + " at " + std::to_string(position));
    }

    void skipSpace() {
        while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position]))) {
            ++position;
        }
    }

    bool consume(char expected) {
        skipSpace();
        if (position < text.size() && text[position] == expected) {
            ++position;
            return true;
        }
        return false;
    }

    void expect(char expected) {
        if (!consume(expected)) {
            fail("unexpected character");
        }
    }

    bool consumeWord(const char* word) {
        const std::string w(word);
        if (text.compare(position, w.size(), w) == 0) {
            position += w.size();
            return true;
        }
        return false;
    }

    std::string parseString() {
        expect('"');
        std::string out;
        while (position < text.size() && text[position] != '"') {
            char c = text[position++];
            if (c == '\\' && position < text.size()) {
                const char escaped = text[position++];
                c = escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
            }
            out += c;
        }
        expect('"');
        return out;
    }

    JsonValue parseValue() {
        skipSpace();
        JsonValue value;
        if (position >= text.size()) {
            fail("unexpected end");
        }
        const char c = text[position];
        if (c == '{') {
            value.kind = JsonValue::Kind::Object;
            ++position;
            if (!consume('}')) {
                do {
                    skipSpace();
                    std::string key = parseString();
                    expect(':');
                    value.members.emplace_back(std::move(key), parseValue());
                } while (consume(','));
                expect('}');
            }
        } else if (c == '[') {
            value.kind = JsonValue::Kind::Array;
            ++position;
            if (!consume(']')) {
                do {
                    value.items.push_back(parseValue());
                } while (consume(','));
                expect(']');
            }
        } else if (c == '"') {
            value.kind = JsonValue::Kind::String;
            value.text = parseString();
        } else if (consumeWord("true") || consumeWord("false")) {
            value.kind = JsonValue::Kind::Bool;
            value.boolean = c == 't';
        } else if (consumeWord("null")) {
            value.kind = JsonValue::Kind::Null;
        } else {
            const char* start = text.c_str() + position;
            char* end = nullptr;
            value.kind = JsonValue::Kind::Number;
            value.number = std::strtod(start, &end);
            if (end == start) {
                fail("bad value");
            }
            position += static_cast<size_t>(end - start);
        }
        return value;
    }

    std::string text;
    size_t position = 0;
};

} // namespace

bool JsonValue::has(const char* key) const {
    for (const auto& member : members) {
        if (member.first == key) {
            return true;
        }
    }
    return false;
}

const JsonValue& JsonValue::operator[](const char* key) const {
    static const JsonValue missing;
    for (const auto& member : members) {
        if (member.first == key) {
            return member.second;
        }
    }
    return missing;
}

JsonValue readJsonFile(const std::string& path) {
    std::ifstream stream(path);
    if (!stream) {
        throw std::runtime_error("cannot open " + path);
    }
    std::stringstream buffer;
    buffer << stream.rdbuf();
    return JsonParser(buffer.str()).parseDocument();
}
