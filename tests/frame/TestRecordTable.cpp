// SPDX-License-Identifier: Apache-2.0
#include "frame/RecordTable.h"
#include "tests/cachefile/KorBytes.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace kortest;

namespace {

// The table as the reader keeps it: words in a heap block of exactly its size.
struct Table {
    explicit Table(const std::string& bytes) : words(bytes.size() / 4), data(new int32_t[words]) {
        std::memcpy(data.get(), bytes.data(), bytes.size());
    }
    RecordLookup find(int channel, RecordPayload& payload) const {
        return findRecord(data.get(), int32_t(words), channel, payload);
    }
    size_t words;
    std::unique_ptr<int32_t[]> data;
};

} // namespace

TEST(RecordTable, FindsRecordsInAnyOrderFirstOneCounting) {
    const Table table(gridRecord(2, "AAAA") + gridRecord(1, "BBBBBBBB") + gridRecord(2, "CCCC"));
    RecordPayload payload;
    ASSERT_EQ(table.find(1, payload), RecordLookup::Found);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(payload.bytes), payload.byteCount),
              "BBBBBBBB");
    ASSERT_EQ(table.find(2, payload), RecordLookup::Found);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(payload.bytes), payload.byteCount), "AAAA");
    EXPECT_EQ(table.find(3, payload), RecordLookup::Missing);
}

TEST(RecordTable, WalkEnds) {
    RecordPayload payload;
    const struct {
        const char* label;
        std::string bytes;
        RecordLookup expected;
    } rows[] = {
        {"first length 0", KorBytes().i32(2).i32(0).i32(2).i32(1).i32(0).bytes(),
         RecordLookup::Missing},
        {"negative length", KorBytes().i32(1).i32(-2).i32(2).i32(1).i32(0).bytes(),
         RecordLookup::Missing},
        {"one word only", KorBytes().i32(2).bytes(), RecordLookup::Missing},
        {"payload past the table", KorBytes().i32(2).i32(3).i32(0).bytes(), RecordLookup::Overruns},
        // Before 64-bit positions this length wrapped the walk back onto record 0.
        {"length that would wrap",
         KorBytes().i32(1).i32(0x7FFFFFFF).i32(0).i32(2).i32(1).i32(0).bytes(),
         RecordLookup::Missing},
    };
    for (const auto& row : rows) {
        const Table table(row.bytes);
        EXPECT_EQ(table.find(2, payload), row.expected) << row.label;
    }
    EXPECT_EQ(findRecord(nullptr, 10, 2, payload), RecordLookup::Missing);
}

TEST(RecordTable, PackedColourStream) {
    const std::string zlib = "zlibdata";
    const std::string good = KorBytes().i64(int64_t(zlib.size())).raw(zlib).bytes();
    RecordPayload payload{reinterpret_cast<const uint8_t*>(good.data()), good.size()};
    RecordPayload stream;
    ASSERT_TRUE(packedColourStream(payload, stream));
    EXPECT_EQ(stream.bytes, payload.bytes + 8);
    EXPECT_EQ(stream.byteCount, zlib.size());

    for (const int64_t stated : {int64_t(-1), int64_t(9), int64_t(1) << 40}) {
        const std::string bad = KorBytes().i64(stated).raw(zlib).bytes();
        const RecordPayload badPayload{reinterpret_cast<const uint8_t*>(bad.data()), bad.size()};
        EXPECT_FALSE(packedColourStream(badPayload, stream)) << stated;
    }
    const RecordPayload tooShort{payload.bytes, 7};
    EXPECT_FALSE(packedColourStream(tooShort, stream));
}
