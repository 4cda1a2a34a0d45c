#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "media_recovery/IArchiveDataRecovery.h"
#include "platform/PageMemory.h"

class CFileNode;
class CSearchedPartitionInfo;
class IDataRunList;

// Reads a node's bytes through its run list. A run's unit u lies at device byte
// dataStart x device sector size + u x cluster bytes (cluster bytes = sectors per cluster x the
// partition's sector size); every device read is in whole device sectors, whole sectors straight
// into the caller's buffer and the rest through a buffer of the reader's. Holes read as zeros; a
// device sector that cannot be read (or lies past the device's end) ends the read before it.
class CFileReader : public IArchiveFileReader, public IArchiveFileExtent {
public:
    static constexpr uint32_t kBufferBytes = 0x400000;
    // A piece of a file up to this size that does not fill whole sectors is read in one read.
    static constexpr uint64_t kOneReadBytes = 0x10000;

    CFileReader() = default;
    ~CFileReader() override;

    uint32_t Read(uint64_t offset, void* buffer, uint32_t length) override;
    IArchiveFileReader* Clone() override;
    uint64_t GetSize() override { return node_ ? size_ : 0; }
    void Release() override { delete this; }
    bool GetFirstByte(IStorageDevice** volume, uint64_t* offset) override;
    bool GetStretch(size_t index, uint64_t* offset, uint64_t* bytes) override;
    bool GetUnreadableSector(uint64_t* sector, bool* pastEnd) override;

    // False when an argument is null, the cluster bytes are not 1 to 32 MiB, the node is empty or
    // has no runs. A folder's size is what its runs hold. The buffer is made by the first read
    // (which reads nothing when it cannot be had).
    bool Bind(CFileNode* node, const CSearchedPartitionInfo* partition, IStorageDevice* device);
    // The bytes the extents cover, at most the file's size.
    uint64_t GetExtentBytes();

private:
    bool AllocateBuffer();
    // Reads count device sectors into data; the number of them, from the first, that could be read.
    uint64_t ReadDevice(uint8_t* data, uint64_t first, uint64_t count);

    IDataRunList* runs_ = nullptr;
    IStorageDevice* device_ = nullptr;
    IFileNode* node_ = nullptr;
    uint64_t clusterBytes_ = 0;
    uint32_t sectorsPerCluster_ = 0;
    uint64_t size_ = 0;
    uint64_t dataStart_ = 0;
    uint32_t sectorSize_ = 512;  // the device's
    platform::PageBuffer buffer_;
    bool lazyBuffer_ = false;  // the buffer is made by the first read
    bool stopped_ = false;  // a read met a sector the device could not give
    bool stoppedPastEnd_ = false;
    uint64_t stoppedAt_ = 0;  // that sector
    // {first byte, bytes} of each stretch on the device, listed by the first GetStretch.
    std::vector<std::pair<uint64_t, uint64_t>> stretches_;
    bool stretchesKnown_ = false;
};
