// InfoReader::read_bytes against the byte-at-a-time reading it stands for:
// the same result, cursor, remaining count and stored bytes for every count,
// field length and capacity, including counts that run past the field.
#include <gtest/gtest.h>

#include <vector>

#include "capture/info_reader.hpp"

namespace {

using pxr52::InfoReader;

struct Outcome {
    bool ok = false;
    int remaining = 0;
    std::vector<unsigned char> dest;
    bool operator==(const Outcome& o) const {
        return ok == o.ok && remaining == o.remaining && dest == o.dest;
    }
};

// n reads of one byte, byte k stored when k < capacity, stopping at the
// first byte that is missing.
Outcome reference(const std::vector<unsigned char>& field, int length, unsigned char n, int capacity) {
    InfoReader r(field.data(), length);
    Outcome o;
    o.dest.assign(8, 0xEE);
    o.ok = true;
    for (int k = 0; k < n; ++k) {
        unsigned char b = 0;
        if (!r.read_u8(b)) {
            o.ok = false;
            break;
        }
        if (k < capacity) o.dest[static_cast<std::size_t>(k)] = b;
    }
    o.remaining = r.remaining();
    return o;
}

Outcome bulk(const std::vector<unsigned char>& field, int length, unsigned char n, int capacity) {
    InfoReader r(field.data(), length);
    Outcome o;
    o.dest.assign(8, 0xEE);
    o.ok = r.read_bytes(n, o.dest.data(), capacity);
    o.remaining = r.remaining();
    return o;
}

TEST(InfoReaderBytes, MatchesByteAtATimeReadingForEveryCountLengthAndCapacity) {
    std::vector<unsigned char> field(16);
    for (std::size_t k = 0; k < field.size(); ++k) field[k] = static_cast<unsigned char>(0x80 + k);
    for (int length : {-3, 0, 1, 5, 7, 8, 16}) {
        for (int n = 0; n <= 12; ++n) {
            for (int capacity : {0, 1, 5, 7, 8}) {
                const auto count = static_cast<unsigned char>(n);
                EXPECT_EQ(bulk(field, length, count, capacity), reference(field, length, count, capacity))
                    << "length " << length << " n " << n << " capacity " << capacity;
            }
        }
    }
}

TEST(InfoReaderBytes, ShortFieldKeepsWhatWasThereAndLeavesNothingToRead) {
    const std::vector<unsigned char> field = {1, 2, 3};
    InfoReader r(field.data(), 3);
    unsigned char dest[7] = {0};
    EXPECT_FALSE(r.read_bytes(5, dest, 7));
    EXPECT_EQ(r.remaining(), 0);
    EXPECT_EQ(dest[0], 1);
    EXPECT_EQ(dest[2], 3);
    EXPECT_EQ(dest[3], 0);  // never past the field
}

}  // namespace
