#include "media_recovery/raw/ExtCarveMap.h"

#include <algorithm>

#include "media_recovery/raw/RawBytes.h"
#include "media_recovery/raw/RawReaders.h"

namespace {

// Superblock, from its first byte (1024 bytes into the volume; a backup at the start of its block):
//   0x00 inodes count   0x04 blocks count (low 32 bits)   0x14 first data block   0x18 log2(block size) - 10
//   0x20 blocks per group   0x28 inodes per group   0x38 magic EF53   0x4C revision   0x5A group of this copy
constexpr uint32_t kMagic = 0xEF53;
constexpr size_t kMostVolumes = 64;
// Data blocks one inode maps directly, before its first indirect block.
constexpr uint64_t kDirectBlocks = 12;

}  // namespace

void ExtCarveVolumes::Note(const uint8_t* magic, uint64_t sector, uint32_t offset, uint32_t ss) {
    if (offset < kMagicOffset || LoadLE16(magic) != kMagic) return;
    const uint8_t* sb = magic - kMagicOffset;
    const uint32_t logSize = LoadLE32(sb + 0x18), firstData = LoadLE32(sb + 0x14);
    const uint32_t perGroup = LoadLE32(sb + 0x20), blocks = LoadLE32(sb + 0x04);
    if (logSize > 6 || LoadLE32(sb) == 0 || blocks == 0 || LoadLE32(sb + 0x28) == 0 || LoadLE32(sb + 0x4C) > 1)
        return;
    const uint64_t bs = uint64_t(1024) << logSize;
    if (firstData != (bs == 1024 ? 1u : 0u) || perGroup == 0 || perGroup > 8 * bs) return;
    const uint64_t group = LoadLE16(sb + 0x5A);
    const uint64_t into = group == 0 ? 1024 : (group * perGroup + firstData) * bs;
    const uint64_t at = sector * ss + (offset - kMagicOffset);
    if (into > at || (at - into) % ss != 0) return;
    ExtCarveVolume volume{(at - into) / ss, blocks, static_cast<uint32_t>(bs)};
    for (const ExtCarveVolume& known : volumes_)
        if (known.startSector == volume.startSector) return;
    if (volumes_.size() < kMostVolumes) volumes_.push_back(volume);
}

const ExtCarveVolume* ExtCarveVolumes::Containing(uint64_t sector, uint32_t ss) const {
    for (const ExtCarveVolume& v : volumes_)
        if (sector >= v.startSector && sector - v.startSector < v.blocks * v.blockSize / ss) return &v;
    return nullptr;
}

ExtCarvedFileView::ExtCarvedFileView(IStorageDevice* inner, const ExtCarveVolume& volume, uint64_t startSector,
                                     const bool* retry)
    : inner_(inner), volume_(volume), start_(startSector), retry_(retry) {
    const uint32_t ss = inner->GetSectorSize();
    sectorSize_ = ss ? ss : 512;
    if (volume.blockSize % sectorSize_ == 0 && startSector >= volume.startSector) {
        const uint64_t spb = volume.blockSize / sectorSize_;
        if ((startSector - volume.startSector) % spb == 0) sectorsPerBlock_ = spb;
    }
}

int ExtCarvedFileView::ReadPointers(uint64_t block, std::vector<uint32_t>& out) {
    out.clear();
    if (block == 0 || block >= volume_.blocks) return 0;
    block_.resize(volume_.blockSize);
    if (!inner_->ReadSectors(block_.data(), volume_.startSector + block * sectorsPerBlock_, sectorsPerBlock_))
        return retry_ && *retry_ ? -1 : 0;
    const size_t n = volume_.blockSize / 4;
    size_t i = 0;
    for (; i < n; ++i) {
        const uint32_t e = LoadLE32(&block_[4 * i]);
        if (e == 0) break;
        if (e >= volume_.blocks) return 0;
        out.push_back(e);
    }
    for (; i < n; ++i)
        if (LoadLE32(&block_[4 * i]) != 0) return 0;
    return out.empty() ? 0 : 1;
}

void ExtCarvedFileView::AddData(uint64_t physical) {
    Piece& last = pieces_.back();
    if (last.logical + last.count == logical_ && last.physical + last.count == physical) ++last.count;
    else pieces_.push_back({logical_, physical, 1});
    ++logical_;
    lastData_ = physical;
}

bool ExtCarvedFileView::Walk(uint64_t block, int depth, int& status) {
    std::vector<uint32_t> pointers;
    const int read = ReadPointers(block, pointers);
    if (read <= 0) {
        status = read;
        return false;
    }
    const uint64_t most = kRawMaxFileSize / volume_.blockSize + 1;
    for (uint32_t e : pointers) {
        if (depth == 1) AddData(e);
        else if (!Walk(e, depth - 1, status)) return false;
        if (logical_ > most) return false;
    }
    // A pointer block that is not full ends the file.
    return pointers.size() == volume_.blockSize / 4;
}

bool ExtCarvedFileView::Map() {
    if (built_) return true;
    pieces_.clear();
    mapped_ = false;
    logical_ = 0;
    const uint64_t first = sectorsPerBlock_ ? (start_ - volume_.startSector) / sectorsPerBlock_ : 0;
    if (!sectorsPerBlock_ || first + kDirectBlocks >= volume_.blocks) {
        built_ = true;
        return true;
    }
    pieces_.push_back({0, first, kDirectBlocks});
    logical_ = kDirectBlocks;
    lastData_ = first + kDirectBlocks - 1;
    // The indirect, double and triple indirect blocks, each where the data before it ends, each
    // pointing at the block after it.
    std::vector<uint32_t> pointers;
    for (int depth = 1; depth <= 3; ++depth) {
        const uint64_t at = lastData_ + 1;
        const int read = ReadPointers(at, pointers);
        if (read < 0) return false;
        if (read == 0 || pointers[0] != at + 1) break;
        mapped_ = true;
        int status = 1;
        if (!Walk(at, depth, status)) {
            if (status < 0) return false;
            break;
        }
    }
    if (!mapped_) pieces_.assign(1, {0, first, 0});
    built_ = true;
    return true;
}

uint64_t ExtCarvedFileView::DeviceSector(uint64_t index, uint64_t* runLeft) const {
    if (!mapped_) {
        *runLeft = UINT64_MAX;
        return start_ + index;
    }
    const uint64_t block = index / sectorsPerBlock_, within = index % sectorsPerBlock_;
    auto after = std::upper_bound(pieces_.begin(), pieces_.end(), block,
                                  [](uint64_t b, const Piece& p) { return b < p.logical; });
    uint64_t physical;
    if (block < logical_) {
        const Piece& p = *(after - 1);
        physical = p.physical + (block - p.logical);
        *runLeft = (p.logical + p.count - block) * sectorsPerBlock_ - within;
    } else {
        // Past what the indirect blocks map, read straight on.
        physical = lastData_ + 1 + (block - logical_);
        *runLeft = UINT64_MAX;
    }
    return volume_.startSector + physical * sectorsPerBlock_ + within;
}

int ExtCarvedFileView::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
    if (first < start_) return inner_->ReadSectors(buffer, first, count);
    if (!Map()) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        uint64_t left = 0;
        const uint64_t at = DeviceSector(first - start_, &left);
        const uint64_t n = std::min(count, left);
        if (!inner_->ReadSectors(out, at, n)) return 0;
        out += n * sectorSize_;
        first += n;
        count -= n;
    }
    return 1;
}

std::vector<std::pair<uint64_t, uint64_t>> ExtCarvedFileView::Runs(uint64_t size) const {
    std::vector<std::pair<uint64_t, uint64_t>> runs;
    if (!mapped_) return runs;
    uint64_t sectors = (size + sectorSize_ - 1) / sectorSize_;
    for (uint64_t index = 0; index < sectors;) {
        uint64_t left = 0;
        const uint64_t at = DeviceSector(index, &left);
        const uint64_t n = std::min(sectors - index, left);
        if (!runs.empty() && runs.back().first + runs.back().second == at) runs.back().second += n;
        else runs.emplace_back(at, n);
        index += n;
    }
    return runs;
}
