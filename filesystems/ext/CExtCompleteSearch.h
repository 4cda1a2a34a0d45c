#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "filesystems/frame/IFileSystemSearchController.h"

class IProgress;

// Finds Ext2/3/4 volumes anywhere on a storage device during the whole-device pass, and reads each
// with the quick search, as a volume at the device's start is read (code 0x23). Every 512 bytes are
// looked at for a superblock's magic; a copy whose own geometry holds (the tests a volume must pass)
// gives the volume's start, from its group number for a backup copy. At the end of the pass a
// volume is read when its group descriptors check out, its root folder is where its geometry puts
// it, and a backup copy of its superblock was seen where its geometry puts one (or the device holds
// no such place). The volume at the device's start is left to the quick search.
class CExtCompleteSearch : public ICompleteFileSystemSearchController {
public:
    // Candidates kept at most (a superblock on every sector stays bounded), and volumes tried at most.
    static constexpr size_t kMostCandidates = 4096;
    static constexpr size_t kMostVolumesTried = 64;

    CExtCompleteSearch() = default;
    ~CExtCompleteSearch() override;
    CExtCompleteSearch(const CExtCompleteSearch&) = delete;
    CExtCompleteSearch& operator=(const CExtCompleteSearch&) = delete;

    void SetBuilder(IDirecotryTreeBuilder* builder) override { builder_ = builder; }
    // Copies of the volumes read, in order of their start; with a null out or a max below their
    // number nothing is written and the number is returned.
    int GetPartitions(CSearchedPartitionInfo** out, int max) override;
    void SetDevice(IStorageDevice* device) override { device_ = device; }
    void SetChunkSectors(uint32_t) override {}
    int BeginSearch() override;
    int EndSearch() override;
    int ScanChunk(uint64_t firstSector, uint64_t sectorCount, IProgress* sink) override;

    // A superblock copy (1024 bytes) that lies at byte of the device.
    void OnSuperBlock(const uint8_t* bytes, uint64_t byte);
    // The volumes read: where each starts, its block size (sectors per cluster) and length.
    const std::vector<std::unique_ptr<CSearchedPartitionInfo>>& Volumes() const { return accepted_; }
    size_t CandidateCount() const { return candidates_.size(); }

private:
    struct Candidate {
        uint64_t copyByte = 0;  // the copy to open it by: the primary when seen, else the first backup
        bool primary = false;
        uint32_t backups = 0;
        uint8_t uuid[16] = {};
    };
    void Examine(const uint8_t* chunk, uint64_t firstByte, uint64_t bytes);
    // False (said) when the volume at start is not to be read.
    bool Confirm(uint64_t start, const Candidate& c);

    IStorageDevice* device_ = nullptr;
    IDirecotryTreeBuilder* builder_ = nullptr;
    IProgress* sink_ = nullptr;
    std::multimap<uint64_t, Candidate> candidates_;  // by the volume's first byte
    uint64_t dropped_ = 0;
    std::vector<std::unique_ptr<CSearchedPartitionInfo>> accepted_;
    std::vector<uint8_t> chunk_;
};
