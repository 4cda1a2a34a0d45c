#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "filesystems/SectorFirstLook.h"

// The sectors listed are those marked, in order, whatever the length (the sixteen-at-a-time part
// and the rest) and however dense the marks.
TEST(SectorFirstLook, ListsExactlyTheMarkedSectorsInOrder) {
    std::mt19937 random(7);
    for (size_t count : {0, 1, 7, 15, 16, 17, 33, 256, 1000, 4099}) {
        for (unsigned density : {0u, 3u, 50u, 100u}) {  // in hundredths
            std::vector<uint8_t> marks(count);
            for (uint8_t& m : marks)
                m = static_cast<uint8_t>((random() % 100 < density ? first_look::kFat : 0) |
                                         (random() % 100 < density ? first_look::kExFat : 0) | (random() % 2) << 4);
            for (uint8_t mask : {first_look::kFat, first_look::kExFat}) {
                std::vector<uint16_t> expected;
                for (size_t i = 0; i < count; ++i)
                    if (marks[i] & mask) expected.push_back(static_cast<uint16_t>(i));
                std::vector<uint16_t> listed(count + 8);
                listed.resize(first_look::ListMarked(marks.data(), count, mask, listed.data()));
                EXPECT_EQ(listed, expected) << count << " sectors, density " << density << ", mask " << int{mask};
            }
        }
    }
}
