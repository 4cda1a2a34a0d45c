#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "filesystems/ext/CExt2DirEntry.h"
#include "filesystems/ext/CExt2FileSystem.h"
#include "filesystems/ext/ExtBlockMap.h"
#include "filesystems/ext/tests/ExtTestSupport.h"
#include "media_recovery/file_model/CDataRunList.h"

using namespace exttest;
using namespace ext;

namespace {

// A made volume in memory, with inodes and blocks of our own written into its free space.
struct Volume {
    explicit Volume(const std::string& image) : device(LoadImage(image), 512), fs(&device, 2) {}
    uint8_t* Block(uint64_t b) { return device.Bytes().data() + b * fs.BlockSize(); }
    void Entry32(uint64_t block, uint32_t entry, uint32_t value) { Put32(Block(block) + 4 * entry, value); }
    MemoryDevice device;
    CExt2FileSystem fs;
};

ExtInode RegularFile(uint64_t size, uint32_t sectors, bool extents) {
    ExtInode inode;
    inode.number = 12;
    Put16(inode.raw + IN_MODE, 0x81A4);
    Put32(inode.raw + IN_SIZE_LO, static_cast<uint32_t>(size));
    Put32(inode.raw + IN_BLOCKS_LO, sectors);
    if (extents) Put32(inode.raw + IN_FLAGS, kInodeFlagExtents);
    return inode;
}

// An extent node header, then leaf entries {logical, length, start} or index entries {logical, child}.
void Header(uint8_t* node, uint16_t entries, uint16_t max, uint16_t depth) {
    Put16(node + EH_MAGIC, kExtentMagic);
    Put16(node + EH_ENTRIES, entries);
    Put16(node + EH_MAX, max);
    Put16(node + EH_DEPTH, depth);
}
void Leaf(uint8_t* node, int i, uint32_t logical, uint16_t length, uint32_t start) {
    uint8_t* e = node + kExtentHeaderBytes + i * kExtentEntryBytes;
    Put32(e + EX_LOGICAL, logical);
    Put16(e + EX_LENGTH, length);
    Put32(e + EX_START_LO, start);
}
void Index(uint8_t* node, int i, uint32_t logical, uint32_t child) {
    uint8_t* e = node + kExtentHeaderBytes + i * kExtentEntryBytes;
    Put32(e + EX_LOGICAL, logical);
    Put32(e + EX_CHILD_LO, child);
}

using RunPairs = std::vector<std::pair<int64_t, uint64_t>>;

// The runs of the first count blocks, holes read through or ending the runs.
RunPairs Runs(ExtBlockMap& map, uint64_t count, bool holes = true) {
    CExt2DataRunList list;
    map.AppendRuns(&list, count, holes, [] { return true; });
    RunPairs out;
    for (DataRun* r = list.First(); r; r = list.Next()) out.emplace_back(r->start, r->length);
    return out;
}

TEST(ExtBlockMap, ClassicMapThroughEveryIndirectLevel) {
    Volume v("ext2_1k.img");  // 1 KiB blocks: 256 pointers per block, blocks 30000.. are free
    const uint64_t p = 256;
    ExtInode inode = RegularFile(70000 * 1024, 70000 * 2, false);
    Put32(inode.raw + IN_BLOCK + 4 * 11, 29999);
    Put32(inode.raw + IN_BLOCK + 4 * 12, 30000);
    Put32(inode.raw + IN_BLOCK + 4 * 13, 30001);
    Put32(inode.raw + IN_BLOCK + 4 * 14, 30003);
    v.Entry32(30000, 255, 31000);
    v.Entry32(30001, 0, 30002);
    v.Entry32(30002, 0, 31001);
    v.Entry32(30002, 1, 99999);  // no block of this volume
    v.Entry32(30003, 0, 30004);
    v.Entry32(30004, 0, 30005);
    v.Entry32(30005, 0, 31002);
    ExtBlockMap map(v.fs, inode, 70000);
    EXPECT_EQ(map.BlockOf(11), 29999u);
    EXPECT_EQ(map.BlockOf(12 + p - 1), 31000u);      // the last one of the single indirect block
    EXPECT_EQ(map.BlockOf(12 + p), 31001u);          // the first one of the double indirect block
    EXPECT_EQ(map.BlockOf(12 + p + 1), 0u);
    EXPECT_EQ(map.BlockOf(12 + p + p * p), 31002u);  // the first one of the triple indirect block
    // An indirect block that cannot be read maps to nothing: no hole, the runs end there.
    Volume bad("ext2_1k.img");
    bad.Entry32(30001, 0, 30002);
    bad.Entry32(30002, 0, 31001);
    bad.device.MarkBad(30002 * 2);
    ExtBlockMap unreadable(bad.fs, inode, 70000);
    EXPECT_EQ(unreadable.BlockOf(12 + p), 0u);
    EXPECT_EQ(Runs(unreadable, 70000), (RunPairs{{-1, 11}, {29999, 1}, {-1, 256}}));

    // Runs: pointers of 0 are holes up to the first number that is no block of the volume.
    EXPECT_EQ(Runs(map, 70000), (RunPairs{{-1, 11}, {29999, 1}, {-1, 255}, {31000, 2}}));
    EXPECT_EQ(Runs(map, 70000, false), RunPairs{});
    // A missing indirect block is a hole as long as its reach: the single one (p blocks), then the
    // first block of the double one's (p more).
    Volume w("ext2_1k.img");
    ExtInode holes = RegularFile((12 + 2 * p + 2) * 1024 - 100, 8, false);
    Put32(holes.raw + IN_BLOCK, 29990);
    Put32(holes.raw + IN_BLOCK + 4 * 13, 30001);
    w.Entry32(30001, 1, 30002);
    w.Entry32(30002, 0, 31001);
    ExtBlockMap sparse(w.fs, holes, 12 + 2 * p + 2);
    EXPECT_EQ(Runs(sparse, 12 + 2 * p + 2), (RunPairs{{29990, 1}, {-1, 11 + 2 * p}, {31001, 1}, {-1, 1}}));
    EXPECT_EQ(Runs(sparse, 12 + 2 * p + 2, false), (RunPairs{{29990, 1}}));
}

TEST(ExtBlockMap, ExtentLeavesHolesAndUnwrittenStretches) {
    Volume v("ext4_1k.img");  // 65 536 blocks; blocks 60000.. are free
    ExtInode inode = RegularFile(20 * 1024, 40, true);
    uint8_t* root = inode.raw + IN_BLOCK;
    Header(root, 4, 4, 0);
    Leaf(root, 0, 0, 3, 60000);
    Leaf(root, 1, 3, 32768 + 2, 60003);  // unwritten: 2 blocks that read as zeros
    Leaf(root, 2, 5, 1, 60010);
    Leaf(root, 3, 10, 1, 60020);
    EXPECT_TRUE(HasPlausibleBlocks(v.fs, inode));
    ExtBlockMap map(v.fs, inode, 20);
    EXPECT_EQ(map.BlockOf(2), 60002u);
    EXPECT_EQ(map.BlockOf(3), 0u);
    EXPECT_EQ(map.BlockOf(5), 60010u);  // not shadowed by the unwritten extent before it
    EXPECT_EQ(map.BlockOf(7), 0u);      // outside every leaf
    EXPECT_EQ(map.BlockOf(10), 60020u);
    // Blocks outside every leaf are holes, to the end of the file; or they end the runs.
    EXPECT_EQ(Runs(map, 20), (RunPairs{{60000, 3}, {-1, 2}, {60010, 1}, {-1, 4}, {60020, 1}, {-1, 9}}));
    EXPECT_EQ(Runs(map, 20, false), (RunPairs{{60000, 3}, {-1, 2}, {60010, 1}}));
    ExtBlockMap shorter(v.fs, inode, 4);
    EXPECT_EQ(Runs(shorter, 4), (RunPairs{{60000, 3}, {-1, 1}}));

    // A tree of depth 1: the root indexes two leaf blocks.
    ExtInode deep = RegularFile(8 * 1024, 20, true);
    Header(deep.raw + IN_BLOCK, 2, 4, 1);
    Index(deep.raw + IN_BLOCK, 0, 0, 61000);
    Index(deep.raw + IN_BLOCK, 1, 4, 61001);
    Header(v.Block(61000), 1, 84, 0);
    Leaf(v.Block(61000), 0, 0, 4, 60100);
    Header(v.Block(61001), 1, 84, 0);
    Leaf(v.Block(61001), 0, 4, 4, 60200);
    ExtBlockMap tree(v.fs, deep, 8);
    EXPECT_EQ(Runs(tree, 8), (RunPairs{{60100, 4}, {60200, 4}}));
}

TEST(ExtBlockMap, HostileExtentTreesEndTheMap) {
    const struct {
        const char* what;
        uint16_t rootDepth, childEntries, childMax, childDepth;
        uint32_t childPointsTo;
    } cases[] = {
        {"a child that names itself", 2, 1, 84, 1, 61000},
        {"more entries than the node holds", 1, 5, 4, 0, 0},
        {"a maximum beyond the block", 1, 1, 90, 0, 0},
        {"a child as deep as its parent", 1, 1, 84, 1, 0},
    };
    for (const auto& c : cases) {
        Volume v("ext4_1k.img");
        ExtInode inode = RegularFile(4 * 1024, 10, true);
        Header(inode.raw + IN_BLOCK, 1, 4, c.rootDepth);
        Index(inode.raw + IN_BLOCK, 0, 0, 61000);
        uint8_t* child = v.Block(61000);
        Header(child, c.childEntries, c.childMax, c.childDepth);
        if (c.childDepth > 0) Index(child, 0, 0, c.childPointsTo ? c.childPointsTo : 61001);
        else Leaf(child, 0, 0, 4, 60000);
        ExtBlockMap map(v.fs, inode, 4);
        EXPECT_EQ(map.BlockOf(0), 0u) << c.what;
        EXPECT_TRUE(Runs(map, 4).empty()) << c.what;
    }
}

TEST(ExtBlockMap, PlausibleBlockMaps) {
    Volume v("ext4_1k.img");
    // An extent root read as block numbers starts with 0x0001F30A = 127 754, past this volume's end.
    ExtInode extents = RegularFile(4096, 8, true);
    Header(extents.raw + IN_BLOCK, 1, 4, 0);
    Leaf(extents.raw + IN_BLOCK, 0, 0, 4, 60000);
    EXPECT_GT(extents.BlockPointer(0), v.fs.BlockCount());
    EXPECT_TRUE(HasPlausibleBlocks(v.fs, extents));
    ExtInode deep = extents;
    Put16(deep.raw + IN_BLOCK + EH_DEPTH, 6);
    EXPECT_FALSE(HasPlausibleBlocks(v.fs, deep));
    // An extent past the volume's end is a stretch the volume lost: the file is kept, its runs
    // end there.
    ExtInode outside = extents;
    Leaf(outside.raw + IN_BLOCK, 0, 0, 4, 70000);
    EXPECT_TRUE(HasPlausibleBlocks(v.fs, outside));
    ExtBlockMap lost(v.fs, outside, 4);
    EXPECT_TRUE(Runs(lost, 4).empty());
    ExtInode unused = extents;
    Put16(unused.raw + IN_MODE, 0);
    EXPECT_FALSE(HasPlausibleBlocks(v.fs, unused));
    ExtInode classic = RegularFile(3 * 1024, 6, false);
    Put32(classic.raw + IN_BLOCK + 8, 70000);
    EXPECT_FALSE(HasPlausibleBlocks(v.fs, classic));
    Put32(classic.raw + IN_BLOCK + 8, 60000);
    EXPECT_TRUE(HasPlausibleBlocks(v.fs, classic));
}

// Writes a directory entry at p.
void DirEntry(uint8_t* p, uint32_t inode, uint16_t length, const std::string& name) {
    Put32(p, inode);
    Put16(p + 4, length);
    p[6] = static_cast<uint8_t>(name.size());
    p[7] = 1;
    std::memcpy(p + 8, name.data(), name.size());
}

std::vector<std::string> Walk(const CExt2FileSystem& fs, const ExtInode& dir) {
    std::vector<std::string> out;
    for (CExt2DirEntry it(fs, dir); !it.AtEnd(); it.Advance())
        out.push_back(std::to_string(it.Current().inode) + ":" + it.Name());
    return out;
}

TEST(ExtDirEntry, EntriesAcrossBlocksUnusedRecordsAndTheEnd) {
    Volume v("ext2_1k.img");
    ExtInode dir;
    dir.number = 2;  // its "." entry names it
    Put16(dir.raw + IN_MODE, 0x41ED);
    Put32(dir.raw + IN_SIZE_LO, 3072);
    Put32(dir.raw + IN_BLOCKS_LO, 6);
    for (uint32_t i = 0; i < 3; ++i) Put32(dir.raw + IN_BLOCK + 4 * i, 30100 + i);
    uint8_t* b0 = v.Block(30100);
    DirEntry(b0, 2, 12, ".");
    DirEntry(b0 + 12, 2, 12, "..");
    DirEntry(b0 + 24, 12, 16, "a");
    DirEntry(b0 + 40, 0, 976, "");                // free space
    DirEntry(b0 + 1016, 13, 24, "crossing.jpg");  // runs 16 bytes into the next block
    DirEntry(v.Block(30101) + 16, 14, 1008, "b");
    DirEntry(v.Block(30102), 15, 2048, "c");      // a record longer than a block ends the folder
    EXPECT_EQ(Walk(v.fs, dir), (std::vector<std::string>{"2:.", "2:..", "12:a", "0:", "13:crossing.jpg", "14:b"}));

    // A checksum tail (inode 0, 12 bytes) in the middle of a folder does not end it.
    DirEntry(v.Block(30101) + 16, 14, 996, "b");
    DirEntry(v.Block(30101) + 1012, 0, 12, "");
    DirEntry(v.Block(30102), 15, 1024, "c");
    EXPECT_EQ(Walk(v.fs, dir),
              (std::vector<std::string>{"2:.", "2:..", "12:a", "0:", "13:crossing.jpg", "14:b", "0:", "15:c"}));

    // A record that runs past the folder's size ends it. One too short for its name costs itself:
    // the walk goes on at the next record of its block that looks like a live entry (none here:
    // free space, then a record across the block's end), else in the next block.
    Put32(dir.raw + IN_SIZE_LO, 2048);
    EXPECT_EQ(Walk(v.fs, dir), (std::vector<std::string>{"2:.", "2:..", "12:a", "0:", "13:crossing.jpg", "14:b", "0:"}));
    DirEntry(b0 + 24, 12, 8, "a");
    EXPECT_EQ(Walk(v.fs, dir), (std::vector<std::string>{"2:.", "2:..", "14:b", "0:"}));
    DirEntry(b0 + 24, 12, 16, "a");

    // A block that cannot be read costs its own entries, and is noted; with none left, there is no
    // entry, and asking for one throws.
    v.device.MarkBad(30100 * 2);
    EXPECT_EQ(Walk(v.fs, dir), (std::vector<std::string>{"14:b", "0:"}));
    v.device.MarkBad(30101 * 2);
    CExt2DirEntry unreadable(v.fs, dir);
    EXPECT_TRUE(unreadable.AtEnd());
    EXPECT_EQ(unreadable.Damaged(), 2u);
    EXPECT_THROW(unreadable.Current(), CExt2DirEntry::CBadDir);
}

TEST(ExtDirEntry, NamesForTheSystemCodePage) {
    const struct {
        std::string raw, shown;
    } cases[] = {
        {"photo.jpg", "photo.jpg"},
        {"\xC3\x9Cmlaut caf\xC3\xA9", "\xC3\x9Cmlaut caf\xC3\xA9"},
        {"\xF0\x9F\x93\xB7.jpg", "\xF0\x9F\x93\xB7.jpg"},  // outside the basic plane
        {"bad\xFFname", "bad\xFFname"},                    // ill-formed: kept as it is
        {"over\xC0\xAFlong", "over\xC0\xAFlong"},
        {"half\xED\xA0\x80", "half\xED\xA0\x80"},          // a surrogate
        {"cut\xE2\x82", "cut"},                            // cut off by the end: dropped
        {"\xE2\x82", "\xE2\x82"},
        {std::string(300, 'x'), std::string(255, 'x')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtEntryName(reinterpret_cast<const uint8_t*>(c.raw.data()), c.raw.size()), c.shown) << c.raw;
}

}  // namespace
