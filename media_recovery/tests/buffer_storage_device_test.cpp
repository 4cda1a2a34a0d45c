#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "media_recovery/CBufferStorageDevice.h"
#include "testing/MemoryDevice.h"

namespace {

std::vector<uint8_t> Block(const MemoryDevice& disk, uint64_t first, uint64_t count) {
    return disk.Bytes(first, count);
}

TEST(BufferStorageDevice, ServesHeldSectorsAndWrapsInOrder) {
    MemoryDevice disk(PatternBytes(512, 100), 512);
    CBufferStorageDevice ring;
    EXPECT_EQ(ring.ReadSectors(std::vector<uint8_t>(512).data(), 0, 1), 0);  // not prepared
    ASSERT_TRUE(ring.Prepare(&disk, 4, 3));
    EXPECT_EQ(ring.Capacity(), 12u);
    for (uint64_t first = 0; first < 20; first += 4) ring.Push(first, Block(disk, first, 4).data(), 4);
    EXPECT_TRUE(ring.IsFull());
    EXPECT_EQ(ring.FirstHeldSector(), 8u);
    EXPECT_EQ(ring.GetSectorCount(), 12u);
    disk.ClearReads();
    std::vector<uint8_t> got(12 * 512);
    // 8..19 straddles the ring's end: the wrapped part comes directly behind the first part.
    ASSERT_EQ(ring.ReadSectors(got.data(), 8, 12), 1);
    EXPECT_EQ(got, Block(disk, 8, 12));
    ASSERT_EQ(ring.ReadSectors(got.data(), 11, 6), 1);
    got.resize(6 * 512);
    EXPECT_EQ(got, Block(disk, 11, 6));
    EXPECT_EQ(disk.Reads(), 0u);
    // Only partly held: wholly from the device.
    got.resize(4 * 512);
    ASSERT_EQ(ring.ReadSectors(got.data(), 6, 4), 1);
    EXPECT_EQ(got, Block(disk, 6, 4));
    EXPECT_EQ(disk.Reads(), 1u);
}

TEST(BufferStorageDevice, ShortAndZeroBlocksKeepTheNumbering) {
    MemoryDevice disk(PatternBytes(512, 10), 512);
    CBufferStorageDevice ring;
    ASSERT_TRUE(ring.Prepare(&disk, 4, 20));
    ring.Push(0, Block(disk, 0, 4).data(), 4);
    ring.PushZeros(4, 4);  // a block that could not be read
    ring.Push(8, Block(disk, 8, 2).data(), 2);  // the device's short last block
    EXPECT_EQ(ring.HeldSectors(), 10u);
    std::vector<uint8_t> got(10 * 512);
    ASSERT_EQ(ring.ReadSectors(got.data(), 0, 10), 1);
    std::vector<uint8_t> want = Block(disk, 0, 10);
    std::fill(want.begin() + 4 * 512, want.begin() + 8 * 512, 0);
    EXPECT_EQ(got, want);
    // A push that does not continue the held range starts afresh.
    ring.Push(40, Block(disk, 0, 1).data(), 1);
    EXPECT_EQ(ring.FirstHeldSector(), 40u);
    EXPECT_EQ(ring.HeldSectors(), 1u);
    EXPECT_EQ(ring.Close(), 1);
    EXPECT_EQ(ring.ReadSectors(got.data(), 40, 1), 0);
    EXPECT_EQ(ring.Open(), 1);
    EXPECT_TRUE(ring.IStorageDevice::IsReady());
    EXPECT_EQ(ring.GetReserved2(1, 2, 3), 0u);
}

TEST(BufferStorageDevice, HandedOverBlocksAreHeldNotCopiedAndOwnBlocksReused) {
    MemoryDevice disk(PatternBytes(512, 100), 512);
    CBufferStorageDevice ring;
    ASSERT_TRUE(ring.Prepare(&disk, 4, 3));
    std::shared_ptr<uint8_t> lent(new uint8_t[4 * 512], std::default_delete<uint8_t[]>());
    std::vector<uint8_t> want = Block(disk, 0, 4);
    std::copy(want.begin(), want.end(), lent.get());
    ring.PushShared(0, lent, 4);
    lent.get()[512] ^= 0xFF;  // held where it lies: the ring sees the change
    std::vector<uint8_t> got(512);
    ASSERT_EQ(ring.ReadSectors(got.data(), 1, 1), 1);
    EXPECT_EQ(got[0], static_cast<uint8_t>(want[512] ^ 0xFF));
    EXPECT_EQ(ring.OwnBlocksMade(), 0u);

    // Blocks read straight from the device; the oldest give way, and their memory is reused.
    for (uint64_t first = 4; first < 60; first += 4) {
        std::shared_ptr<const uint8_t> block = ring.ReadBlock(first, 4);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(std::vector<uint8_t>(block.get(), block.get() + 4 * 512), Block(disk, first, 4));
    }
    EXPECT_EQ(lent.use_count(), 1);  // given back once it left the ring
    EXPECT_LE(ring.OwnBlocksMade(), 4u);
    EXPECT_EQ(ring.FirstHeldSector(), 48u);
    got.resize(12 * 512);
    disk.ClearReads();
    ASSERT_EQ(ring.ReadSectors(got.data(), 48, 12), 1);
    EXPECT_EQ(got, Block(disk, 48, 12));
    EXPECT_EQ(disk.Reads(), 0u);

    // A block that cannot be read is not held, and the ring stays as it was.
    disk.MarkBad(62);
    EXPECT_EQ(ring.ReadBlock(60, 4), nullptr);
    EXPECT_EQ(ring.FirstHeldSector(), 48u);
    EXPECT_EQ(ring.HeldSectors(), 12u);
    // Whole blocks before a sector are let go; the next push still continues the range.
    ring.ForgetBefore(55);
    EXPECT_EQ(ring.FirstHeldSector(), 52u);
    EXPECT_EQ(ring.HeldSectors(), 8u);
    ring.PushZeros(60, 4);
    EXPECT_EQ(ring.FirstHeldSector(), 52u);
    EXPECT_EQ(ring.HeldSectors(), 12u);
}

}  // namespace
