#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>

#include "filesystems/ext/ExtChildNames.h"
#include "filesystems/ext/ExtInodeMap.h"

namespace {

// The walk's inode table against a tree, through growth, erasures that move entries back across the
// end of the array, and numbers that crowd into few slots.
TEST(ExtTables, InodeMapMatchesATree) {
    ExtHeapInit();
    for (uint32_t spread : {40u, 5000u, 0x7FFFFFFFu}) {
        SCOPED_TRACE(spread);
        std::mt19937 random(spread);
        ExtInodeMap<int> map;
        std::map<uint32_t, int> tree;
        for (int step = 0; step < 20000; ++step) {
            const uint32_t ino = 1 + random() % spread;
            switch (random() % 4) {
                case 0:
                case 1:
                    map[ino] = step;
                    tree[ino] = step;
                    break;
                case 2: {
                    int value = -1;
                    const bool took = map.Take(ino, &value);
                    auto it = tree.find(ino);
                    ASSERT_EQ(took, it != tree.end());
                    if (took) {
                        EXPECT_EQ(value, it->second);
                        tree.erase(it);
                    }
                    break;
                }
                default: {
                    int* found = map.Find(ino);
                    auto it = tree.find(ino);
                    ASSERT_EQ(found != nullptr, it != tree.end());
                    if (found) {
                        EXPECT_EQ(*found, it->second);
                    }
                }
            }
            ASSERT_EQ(map.Size(), tree.size());
        }
        map.EraseIf([](int value) { return value % 3 == 0; });
        for (auto it = tree.begin(); it != tree.end();) it = it->second % 3 == 0 ? tree.erase(it) : std::next(it);
        std::map<uint32_t, int> listed;
        map.ForEach([&listed](uint32_t ino, int value) { listed[ino] = value; });
        EXPECT_EQ(listed, tree);
        EXPECT_EQ(map.Find(0), nullptr);
        map.Clear();
        EXPECT_TRUE(map.Empty());
    }
}

// A folder's names: a later name of an inode replaces an earlier one, each is taken once, in any
// order of adding and taking, and the store is empty when the last one is taken.
TEST(ExtTables, ChildNamesAreTakenOnceAndTheLatestWins) {
    ExtHeapInit();
    ExtChildNames names;
    std::string out;
    EXPECT_FALSE(names.Take(5, &out));
    const std::string longName(255, 'x');
    const std::pair<uint32_t, std::string> added[] = {{30, "n30"}, {12, "first"}, {12, "second"}, {40, longName}, {7, "n7"}};
    for (const auto& name : added) names.Add(name.first, name.second.data(), name.second.size());
    names.Add(12, "latest", 6);
    ASSERT_TRUE(names.Take(12, &out));
    EXPECT_EQ(out, "latest");
    EXPECT_FALSE(names.Take(12, &out));
    names.Add(3, "", 0);  // added after a take: the index is sorted again
    names.Add(12, "again", 5);
    for (auto expected : std::map<uint32_t, std::string>{{3, ""}, {7, "n7"}, {12, "again"}, {30, "n30"}, {40, longName}}) {
        EXPECT_FALSE(names.Empty());
        ASSERT_TRUE(names.Take(expected.first, &out)) << expected.first;
        EXPECT_EQ(out, expected.second);
    }
    EXPECT_TRUE(names.Empty());
    // Every name of one inode, in the order its folder gave them.
    names.Add(9, "b", 1);
    names.Add(4, "x", 1);
    names.Add(9, "a", 1);
    ExtVector<std::string> all;
    ASSERT_TRUE(names.TakeAll(9, &all));
    EXPECT_EQ(all, (ExtVector<std::string>{"b", "a"}));
    EXPECT_FALSE(names.TakeAll(9, &all));
    EXPECT_TRUE(all.empty());
}

}  // namespace
