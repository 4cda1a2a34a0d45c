#include "filesystems/ext/CExt2FileSystem.h"
#include "filesystems/frame/ReadInPart.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "filesystems/ext/ExtChecksums.h"
#include "filesystems/ext/ExtErrors.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Logger.h"

using namespace ext;

namespace {
// Groups that may hold a copy of the superblock and descriptors, in the order they are tried.
constexpr uint32_t kCopyGroups[] = {0, 1, 3, 5, 7, 9, 25, 27, 49, 81, 125};

bool SameLocations(const ExtVector<ExtGroupDescriptor>& a, const ExtVector<ExtGroupDescriptor>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (static_cast<uint32_t>(a[i].blockBitmap) != static_cast<uint32_t>(b[i].blockBitmap) ||
            static_cast<uint32_t>(a[i].inodeBitmap) != static_cast<uint32_t>(b[i].inodeBitmap) ||
            static_cast<uint32_t>(a[i].inodeTable) != static_cast<uint32_t>(b[i].inodeTable))
            return false;
    }
    return true;
}
}  // namespace

CExt2FileSystem::CExt2FileSystem(IStorageDevice* device, uint64_t sector, bool quiet)
    : device_(device), foundSector_(sector) {
    Open(nullptr, quiet);
}

CExt2FileSystem::CExt2FileSystem(IStorageDevice* device, uint64_t sector, const ExtSuperBlock& given, bool quiet)
    : device_(device), foundSector_(sector) {
    Open(&given, quiet);
}

void CExt2FileSystem::Open(const ExtSuperBlock* given, bool quiet) {
    ExtHeapInit();
    if (!device_) throw CExt2ReadSectorError();
    sectorSize_ = device_->GetSectorSize() ? device_->GetSectorSize() : 512;
    if (sectorSize_ % 512 != 0) throw CExt2BadSuperBlock();
    const unsigned __int128 bytes = static_cast<unsigned __int128>(device_->GetSectorCount()) * sectorSize_;
    deviceBytes_ = bytes > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(bytes);
    if (foundSector_ > UINT64_MAX / 512) throw CExt2BadSuperBlock();
    const uint64_t foundByte = foundSector_ * 512;

    if (given) std::memcpy(sb_.raw, given->raw, kSuperBlockBytes);
    else ReadBytes(sb_.raw, foundByte, kSuperBlockBytes);
    sb_.Parse();
    sb_.Normalise();
    if (!sb_.IsValid()) throw CExt2BadSuperBlock();
    blockSize_ = sb_.BlockSize();
    // Blocks are read as whole device sectors.
    if (blockSize_ < sectorSize_) throw CExt2BadSuperBlock();

    // Where the volume starts: the primary copy lies at byte 1024, a backup copy at the first block
    // of its group (which is block 1 of the group with 1 KiB blocks).
    const unsigned __int128 offset =
        sb_.blockGroupNr == 0 ? kSuperBlockByte
                              : static_cast<unsigned __int128>(sb_.blockGroupNr) * sb_.blocksPerGroup * blockSize_ +
                                    static_cast<uint64_t>(sb_.firstDataBlock) * blockSize_;
    if (offset > foundByte) throw CExt2BadSuperBlock();
    partitionByte_ = static_cast<uint64_t>(foundByte - offset);
    if (partitionByte_ % sectorSize_ != 0) throw CExt2BadSuperBlock();

    // What lies past the device's end (a dump that stopped early, a partition smaller than its file
    // system) is lost; the rest is read.
    if (partitionByte_ > deviceBytes_) throw CExt2BadSuperBlock();
    readableBlocks_ = std::min<uint64_t>(sb_.BlockCount(), (deviceBytes_ - partitionByte_) / blockSize_);
    if (readableBlocks_ < sb_.BlockCount() && !quiet)
        SayReadInPart("Ext file system runs past the end of its volume: %llu of its %llu blocks are there, what "
               "lies past them is lost",
               static_cast<unsigned long long>(readableBlocks_),
               static_cast<unsigned long long>(sb_.BlockCount()));

    if (!ReadDescriptors()) throw CExt2BadGroupDescriptor();
    if (!quiet) {
        for (const Repair& r : repairs_) {
            if (r.lost) SayReadInPart("%s", r.what.c_str());
            else RK_LOG("%s%s", kLogWarningPrefix, r.what.c_str());
        }
    }
    if (copyGroup_ != 0 && !quiet)
        RK_LOG("%sExt group descriptors of the primary table do not check out: the copy in group %u is read",
               kLogWarningPrefix, copyGroup_);
    if (groups_.size() < sb_.GroupCount() && !quiet)
        SayReadInPart("Ext group descriptors of groups %llu to %llu lie past the end of the volume: their inodes "
               "are lost",
               static_cast<unsigned long long>(groups_.size()),
               static_cast<unsigned long long>(sb_.GroupCount() - 1));
}

CExt2FileSystem::~CExt2FileSystem() {}

void CExt2FileSystem::ReadBytes(uint8_t* buffer, uint64_t byte, size_t length) const {
    if (byte > deviceBytes_ || length > deviceBytes_ - byte) throw CExt2ReadSectorError();
    const uint64_t first = byte / sectorSize_;
    const uint64_t skip = byte % sectorSize_;
    const uint64_t count = (skip + length + sectorSize_ - 1) / sectorSize_;
    if (skip == 0 && length % sectorSize_ == 0) {
        if (!device_->ReadSectors(buffer, first, count)) throw CExt2ReadSectorError();
        return;
    }
    ExtBuffer whole;
    uint8_t* data = whole.Reserve(static_cast<size_t>(count * sectorSize_));
    if (!device_->ReadSectors(data, first, count)) throw CExt2ReadSectorError();
    std::memcpy(buffer, data + skip, length);
}

void CExt2FileSystem::ReadBlocks(void* buffer, uint64_t block, uint32_t count) const {
    const unsigned __int128 byte = static_cast<unsigned __int128>(block) * blockSize_ + partitionByte_;
    const uint64_t length = static_cast<uint64_t>(count) * blockSize_;
    if (byte > deviceBytes_ || length > deviceBytes_ - static_cast<uint64_t>(byte))
        throw std::range_error("CExt2FileSystem::ReadBlocks");
    const uint64_t first = static_cast<uint64_t>(byte) / sectorSize_;
    if (!device_->ReadSectors(buffer, first, length / sectorSize_)) {
        std::memset(buffer, 0, static_cast<size_t>(length));
        throw CExt2ReadSectorError();
    }
}

bool CExt2FileSystem::ParseTable(const uint8_t* bytes, uint64_t groups, ExtVector<ExtGroupDescriptor>* table) const {
    const size_t size = sb_.DescriptorSize();
    const bool wide = sb_.Is64Bit() && size >= 64;
    table->assign(static_cast<size_t>(groups), ExtGroupDescriptor());
    for (uint64_t g = 0; g < groups; ++g) {
        const uint8_t* d = bytes + g * size;
        ExtGroupDescriptor& e = (*table)[static_cast<size_t>(g)];
        e.blockBitmap = LoadLE32(d + GD_BLOCK_BITMAP);
        e.inodeBitmap = LoadLE32(d + GD_INODE_BITMAP);
        e.inodeTable = LoadLE32(d + GD_INODE_TABLE);
        e.flags = LoadLE16(d + GD_FLAGS);
        e.itableUnused = LoadLE16(d + GD_ITABLE_UNUSED);
        e.bitmapChecksum = LoadLE16(d + GD_BLOCK_BITMAP_CSUM);
        if (wide) {
            e.bitmapChecksum |= static_cast<uint32_t>(LoadLE16(d + GD_BLOCK_BITMAP_CSUM_HI)) << 16;
            e.wideBitmapChecksum = true;
            e.blockBitmap |= static_cast<uint64_t>(LoadLE32(d + GD_BLOCK_BITMAP_HI)) << 32;
            e.inodeBitmap |= static_cast<uint64_t>(LoadLE32(d + GD_INODE_BITMAP_HI)) << 32;
            e.inodeTable |= static_cast<uint64_t>(LoadLE32(d + GD_INODE_TABLE_HI)) << 32;
            e.itableUnused |= static_cast<uint32_t>(LoadLE16(d + GD_ITABLE_UNUSED_HI)) << 16;
        }
        const int32_t sum = ExtDescriptorChecksum(sb_, static_cast<uint32_t>(g), d, size);
        e.checksumOk = sum >= 0 && static_cast<uint16_t>(sum) == LoadLE16(d + GD_CHECKSUM);
    }
    return true;
}

bool CExt2FileSystem::CheckTable(ExtVector<ExtGroupDescriptor>* table) const {
    const uint64_t blocks = sb_.BlockCount();
    const uint64_t tableBlocks = sb_.InodeTableBlocks();
    uint64_t first = sb_.firstDataBlock;
    bool all = true;
    for (size_t i = 0; i < table->size(); ++i) {
        ExtGroupDescriptor& g = (*table)[i];
        const bool lastGroup = i + 1 == table->size();
        const uint64_t last = lastGroup || sb_.HasFlexGroups() ? blocks - 1 : first + sb_.blocksPerGroup - 1;
        auto inGroup = [&](uint64_t b) { return b >= first && b <= last; };
        auto inTable = [&](uint64_t b) { return b >= g.inodeTable && b - g.inodeTable < tableBlocks; };
        // The whole inode table lies on the volume.
        g.tableOk = inGroup(g.inodeTable) && tableBlocks <= blocks && g.inodeTable <= blocks - tableBlocks;
        g.bitmapsOk = inGroup(g.blockBitmap) && inGroup(g.inodeBitmap) && g.blockBitmap != g.inodeBitmap &&
                      !(g.tableOk && (inTable(g.blockBitmap) || inTable(g.inodeBitmap)));
        all = all && g.tableOk && g.bitmapsOk;
        if (!sb_.HasFlexGroups()) first += sb_.blocksPerGroup;
    }
    return all;
}

bool CExt2FileSystem::RootFolderAt(uint64_t inodeTable) const {
    const uint64_t offset = static_cast<uint64_t>(kRootInode - 1) * sb_.InodeSize();
    ExtBuffer buffer;
    uint8_t* data = buffer.Reserve(blockSize_);
    try {
        ReadBlocks(data, inodeTable + offset / blockSize_, 1);
        const uint8_t* root = data + offset % blockSize_;
        const uint8_t* map = root + IN_BLOCK;
        uint64_t first = LoadLE32(map);  // its first block: the first pointer, or the first extent's start
        if (LoadLE32(root + IN_FLAGS) & kInodeFlagExtents) {
            const uint8_t* e = map + kExtentHeaderBytes;
            if (LoadLE16(map + EH_MAGIC) != kExtentMagic || LoadLE16(map + EH_DEPTH) != 0 ||
                LoadLE16(map + EH_ENTRIES) == 0 || LoadLE32(e + EX_LOGICAL) != 0)
                return false;
            first = (static_cast<uint64_t>(LoadLE16(e + EX_START_HI)) << 32) | LoadLE32(e + EX_START_LO);
        }
        if (first == 0 || !IsReadableBlock(first)) return false;
        ReadBlocks(data, first, 1);
    } catch (const std::exception&) {
        return false;
    }
    const uint8_t* up = data + 12;
    return LoadLE32(data) == kRootInode && data[6] == 1 && data[8] == '.' && LoadLE32(up) == kRootInode &&
           up[6] == 2 && up[8] == '.' && up[9] == '.';
}

uint64_t CExt2FileSystem::LaidOutTable(uint64_t group, const ExtGroupDescriptor& d) const {
    // Where mke2fs lays a group's inode table out, from its bitmaps or from the group's start: after
    // the superblock copy, the descriptor table and the blocks kept for it, its two bitmaps (with
    // flexible groups, those of all the groups of its flexible group, whose tables follow one
    // another).
    const uint64_t tableBlocks = sb_.InodeTableBlocks();
    const uint64_t copy = (sb_.featureIncompat & kIncompatMetaBg) ? 1 : 1 + sb_.DescriptorBlocks() + sb_.reservedGdtBlocks;
    ExtVector<uint64_t> places;
    if (!sb_.HasFlexGroups()) {
        const uint64_t start = group * sb_.blocksPerGroup + sb_.firstDataBlock + (sb_.HasSuperBlockCopy(group) ? copy : 0);
        places = {d.inodeBitmap + 1, d.blockBitmap + 2, start + 2};
    } else {
        const uint32_t logFlex = sb_.raw[SB_LOG_GROUPS_PER_FLEX];
        const uint64_t flex = logFlex < 31 ? uint64_t{1} << logFlex : 0;
        if (flex == 0) return 0;
        const uint64_t k = group % flex;
        const uint64_t first = group - k;
        const uint64_t start = first * sb_.blocksPerGroup + sb_.firstDataBlock + (sb_.HasSuperBlockCopy(first) ? copy : 0);
        places = {d.inodeBitmap + flex - k + k * tableBlocks, d.blockBitmap + 2 * flex - k + k * tableBlocks,
                  start + 2 * flex + k * tableBlocks};
    }
    // The root folder tells the right one; only group 0 holds it.
    if (group != 0) return 0;
    for (uint64_t place : places)
        if (place < sb_.BlockCount() && tableBlocks <= sb_.BlockCount() - place && RootFolderAt(place)) return place;
    return 0;
}

bool CExt2FileSystem::ReadDescriptors() {
    const uint64_t groups = sb_.GroupCount();
    const uint64_t size = sb_.DescriptorSize();
    ExtBuffer bytes;
    struct Copy {
        ExtVector<ExtGroupDescriptor> table;
        uint32_t group;
    };
    std::vector<Copy> accepted;
    std::vector<Copy> refused;  // read whole, but with groups that do not check out
    const Copy* chosen = nullptr;
    bool lastPassed = false;  // the copy read last passed the check (it is accepted.back())
    for (uint32_t g : kCopyGroups) {
        if (g >= groups) break;  // copies lie inside the volume
        const uint64_t superBlock = static_cast<uint64_t>(sb_.blocksPerGroup) * g + sb_.firstDataBlock;
        // The descriptors the device holds: a table cut by its end loses the groups past it.
        const unsigned __int128 tableByte = partitionByte_ + static_cast<unsigned __int128>(superBlock + 1) * blockSize_;
        const uint64_t held = tableByte >= deviceBytes_ ? 0 : static_cast<uint64_t>(deviceBytes_ - tableByte) / size;
        const uint64_t count = std::min(groups, held);
        if (count == 0) {
            lastPassed = false;
            break;
        }
        uint8_t* raw = bytes.Reserve(static_cast<size_t>(count * size));  // bounded by the superblock tests
        try {
            if (g != 0) {
                ExtSuperBlock copy;
                ReadBytes(copy.raw, partitionByte_ + superBlock * blockSize_, kSuperBlockBytes);
                copy.Parse();
                copy.Normalise();
                if (!copy.SameVolume(sb_)) continue;
            }
            ReadBytes(raw, static_cast<uint64_t>(tableByte), static_cast<size_t>(count * size));
        } catch (const CExt2ReadSectorError&) {
            lastPassed = false;
            break;
        }
        Copy copy{ExtVector<ExtGroupDescriptor>(), g};
        ParseTable(raw, count, &copy.table);
        if (!CheckTable(&copy.table)) {
            lastPassed = false;
            refused.push_back(std::move(copy));
            continue;
        }
        // A copy that agrees with one seen before settles it. When that one is the primary, the
        // primary is kept: the file system keeps it current, while backups hold what mkfs wrote
        // (their never-used inode counts are stale).
        const Copy* earlier = nullptr;
        for (const Copy& before : accepted)
            if (!earlier && SameLocations(before.table, copy.table)) earlier = &before;
        if (earlier) {
            if (earlier->group != 0) {
                accepted.push_back(std::move(copy));
                earlier = &accepted.back();
            }
            chosen = earlier;
            break;
        }
        accepted.push_back(std::move(copy));
        lastPassed = true;
    }
    if (!chosen && lastPassed) chosen = &accepted.back();
    if (!chosen && !accepted.empty()) chosen = &accepted.front();
    if (chosen) {
        groups_ = chosen->table;
        copyGroup_ = chosen->group;
        fromPrimary_ = chosen->group == 0;
        return true;
    }
    if (refused.empty()) return false;
    // No copy checks out whole: each group's descriptor is taken from the first copy where it does,
    // else where its inode table does (its bitmaps are not used); a group with neither has its
    // inode table where the volume's layout puts it, when its root folder is found there, or is lost.
    copyGroup_ = 0;
    fromPrimary_ = false;
    groups_ = refused.front().table;
    for (size_t i = 0; i < groups_.size(); ++i) {
        const ExtGroupDescriptor* whole = nullptr;
        const ExtGroupDescriptor* table = nullptr;
        uint32_t from = 0;
        for (const Copy& c : refused) {
            if (i >= c.table.size()) continue;
            const ExtGroupDescriptor& d = c.table[i];
            if (!whole && d.tableOk && d.bitmapsOk) whole = &d, from = c.group;
            if (!table && d.tableOk) table = &d;
        }
        ExtGroupDescriptor& g = groups_[i];
        if (whole) {
            g = *whole;
            if (from != 0) repairs_.push_back({false, "Ext group descriptor of group " + std::to_string(i) +
                                                          " does not check out in the primary table: the copy in group " +
                                                          std::to_string(from) + " is read"});
            continue;
        }
        if (table) {
            g = *table;
            repairs_.push_back({false, "Ext group descriptor of group " + std::to_string(i) + ": its bitmaps (blocks " +
                                           std::to_string(g.blockBitmap) + ", " + std::to_string(g.inodeBitmap) +
                                           ") lie outside its group: they are not used"});
            continue;
        }
        const uint64_t place = LaidOutTable(i, g);
        if (place != 0) {
            repairs_.push_back({false, "Ext group descriptor of group " + std::to_string(i) + ": its inode table at block " +
                                           std::to_string(g.inodeTable) +
                                           " lies outside its group: it is read at block " + std::to_string(place) +
                                           ", where the volume's layout puts it and its root folder is"});
            g.inodeTable = place;
            g.tableOk = true;
            continue;
        }
        repairs_.push_back({true, "Ext group descriptor of group " + std::to_string(i) +
                                      " does not check out in any copy (its inode table at block " +
                                      std::to_string(g.inodeTable) + " lies outside its group): its inodes are lost"});
    }
    for (const ExtGroupDescriptor& g : groups_)
        if (g.tableOk) return true;
    return false;
}

bool CExt2FileSystem::RootFolderHolds() const {
    return !groups_.empty() && groups_[0].tableOk && RootFolderAt(groups_[0].inodeTable);
}

namespace {
// A copy of the primary superblock with the fields named by change replaced by a second source: the
// field that holds the same value (cluster size and clusters per group, without clusters), what the
// other fields or mke2fs give. Each change is (offset, width, value); the words describe them.
struct Mend {
    size_t at;
    size_t width;
    uint32_t value;
    const char* field;
};

void Put(uint8_t* raw, const Mend& m) {
    for (size_t i = 0; i < m.width; ++i) raw[m.at + i] = static_cast<uint8_t>(m.value >> (8 * i));
}

uint32_t Get(const uint8_t* raw, const Mend& m) { return m.width == 2 ? LoadLE16(raw + m.at) : LoadLE32(raw + m.at); }

// Where a superblock's fields have a second source, the values it gives (none equal to the field).
std::vector<Mend> Mends(const ExtSuperBlock& sb) {
    const uint8_t* raw = sb.raw;
    std::vector<Mend> out;
    auto add = [&](size_t at, size_t width, uint32_t value, const char* field) {
        Mend m{at, width, value, field};
        if (Get(raw, m) != value) out.push_back(m);
    };
    add(SB_MAGIC, 2, kExtMagic, "magic (hex)");
    add(SB_BLOCK_GROUP_NR, 2, 0, "group number");
    const bool clusters = sb.featureRoCompat & kRoCompatBigalloc;
    if (!clusters) {
        add(SB_LOG_BLOCK_SIZE, 4, LoadLE32(raw + SB_LOG_CLUSTER_SIZE), "block size field");
        add(SB_BLOCKS_PER_GROUP, 4, LoadLE32(raw + SB_CLUSTERS_PER_GROUP), "blocks per group");
    }
    const uint32_t log = LoadLE32(raw + (clusters ? SB_LOG_BLOCK_SIZE : SB_LOG_CLUSTER_SIZE));
    if (log <= 6) add(SB_BLOCKS_PER_GROUP, 4, 8u * (1024u << log), "blocks per group");
    const uint64_t bpg = LoadLE32(raw + SB_BLOCKS_PER_GROUP);
    const uint64_t blocks = LoadLE32(raw + SB_BLOCKS_COUNT_LO);
    const uint64_t first = log == 0 ? 1 : 0;
    if (bpg && blocks > first) {
        const uint64_t groups = (blocks - first + bpg - 1) / bpg;
        const uint64_t inodes = LoadLE32(raw + SB_INODES_COUNT);
        if (inodes % groups == 0) add(SB_INODES_PER_GROUP, 4, static_cast<uint32_t>(inodes / groups), "inodes per group");
    }
    add(SB_REV_LEVEL, 4, 1, "revision");
    add(SB_FIRST_INO, 4, kGoodOldFirstInode, "first inode");
    add(SB_INODE_SIZE, 2, 256, "inode size");
    add(SB_INODE_SIZE, 2, kGoodOldInodeSize, "inode size");
    if (sb.Is64Bit()) add(SB_DESC_SIZE, 2, 64, "descriptor size");
    return out;
}
}  // namespace

std::unique_ptr<CExt2FileSystem> OpenExtVolume(IStorageDevice* device, uint64_t sector) {
    try {
        return std::unique_ptr<CExt2FileSystem>(new CExt2FileSystem(device, sector));
    } catch (const CExt2BadSuperBlock&) {
    } catch (const CExt2BadGroupDescriptor&) {
    } catch (const CExt2ReadSectorError&) {
    }
    ExtHeapInit();
    // The copy that was refused, and why.
    ExtSuperBlock primary;
    const uint32_t sectorSize = device->GetSectorSize() ? device->GetSectorSize() : 512;
    const uint64_t deviceBytes = device->GetSectorCount() * sectorSize;
    const uint64_t byte = sector * 512;
    if (byte < kSuperBlockByte || byte % sectorSize != 0) throw CExt2BadSuperBlock();
    if (byte + kSuperBlockBytes > deviceBytes) {
        // The device ends inside the superblock: said when what is left of it has the magic.
        const uint64_t magic = byte + SB_MAGIC;
        uint8_t sector2[2] = {};
        ExtBuffer buffer;
        uint8_t* data = buffer.Reserve(sectorSize);
        if (magic + 2 <= deviceBytes && device->ReadSectors(data, magic / sectorSize, 1) && magic % sectorSize + 2 <= sectorSize) {
            std::memcpy(sector2, data + magic % sectorSize, 2);
            if (LoadLE16(sector2) == kExtMagic)
                SayReadInPart("Ext superblock at sector %llu runs past the end of the device: the volume is lost",
                              static_cast<unsigned long long>(sector));
        }
        throw CExt2BadSuperBlock();
    }
    const uint64_t start = byte - kSuperBlockByte;
    {
        ExtBuffer buffer;
        uint8_t* data = buffer.Reserve(kSuperBlockBytes + sectorSize);
        const uint64_t count = (kSuperBlockBytes + sectorSize - 1) / sectorSize;
        if (!device->ReadSectors(data, byte / sectorSize, count)) throw CExt2ReadSectorError();
        std::memcpy(primary.raw, data, kSuperBlockBytes);
    }
    primary.Parse();
    ExtSuperBlock normal = primary;
    normal.Normalise();
    const char* fault = normal.Fault();
    const std::string why = fault ? std::string(" (") + fault + ")" : std::string(" (its group descriptors do not check out)");
    const std::string where = "Ext superblock at sector " + std::to_string(sector);
    // Opened quietly first: the copy must hold together and lead to the root folder.
    auto tryOpen = [&](uint64_t at, const ExtSuperBlock* given) -> std::unique_ptr<CExt2FileSystem> {
        try {
            std::unique_ptr<CExt2FileSystem> fs(given ? new CExt2FileSystem(device, at, *given, true)
                                                      : new CExt2FileSystem(device, at, true));
            if (fs->PartitionStartSector() * fs->DeviceSectorSize() != start || !fs->RootFolderHolds()) return nullptr;
            return std::unique_ptr<CExt2FileSystem>(given ? new CExt2FileSystem(device, at, *given, false)
                                                          : new CExt2FileSystem(device, at));
        } catch (const std::exception&) {
            return nullptr;
        }
    };
    // A backup copy where the usual geometries put one: each block size with a group of as many
    // blocks as one bitmap block marks, or as the refused copy says.
    for (uint32_t log = 0; log <= 6; ++log) {
        const uint64_t bs = 1024u << log;
        std::vector<uint64_t> perGroup = {8 * bs};
        for (uint32_t v : {primary.blocksPerGroup, LoadLE32(primary.raw + SB_CLUSTERS_PER_GROUP)})
            if (v != 0 && v < 8 * bs && std::find(perGroup.begin(), perGroup.end(), v) == perGroup.end()) perGroup.push_back(v);
        for (uint64_t bpg : perGroup) {
            for (uint64_t g : {1, 3, 5, 7, 9}) {
                const uint64_t at = start + (g * bpg + (bs == 1024)) * bs;
                if (at + kSuperBlockBytes > deviceBytes) break;
                ExtSuperBlock copy;
                ExtBuffer buffer;
                uint8_t* data = buffer.Reserve(kSuperBlockBytes + sectorSize);
                if (at % sectorSize != 0 ||
                    !device->ReadSectors(data, at / sectorSize, (kSuperBlockBytes + sectorSize - 1) / sectorSize))
                    continue;
                std::memcpy(copy.raw, data, kSuperBlockBytes);
                copy.Parse();
                if (copy.magic != kExtMagic || copy.blockGroupNr != g || copy.BlockSize() != bs || copy.blocksPerGroup != bpg)
                    continue;
                if (std::unique_ptr<CExt2FileSystem> fs = tryOpen(at / 512, nullptr)) {
                    RK_LOG("%s%s does not hold together%s: the copy in group %llu (sector %llu) is read", kLogWarningPrefix,
                           where.c_str(), why.c_str(), static_cast<unsigned long long>(g),
                           static_cast<unsigned long long>(at / 512));
                    return fs;
                }
            }
        }
    }
    // The refused copy with one field, then two, taken from its second source.
    const std::vector<Mend> mends = Mends(primary);
    auto attempt = [&](std::initializer_list<const Mend*> change) -> std::unique_ptr<CExt2FileSystem> {
        ExtSuperBlock mended = primary;
        for (const Mend* m : change) Put(mended.raw, *m);
        mended.Parse();
        ExtSuperBlock check = mended;
        check.Normalise();
        if (!check.IsValid()) return nullptr;
        std::unique_ptr<CExt2FileSystem> fs = tryOpen(sector, &mended);
        if (!fs) return nullptr;
        std::string fields;
        for (const Mend* m : change) {
            std::string name = m->field;
            const bool hex = name.size() > 6 && name.compare(name.size() - 6, 6, " (hex)") == 0;
            if (hex) name.resize(name.size() - 6);
            auto shown = [hex](uint32_t v) {
                char text[16];
                std::snprintf(text, sizeof text, hex ? "0x%04X" : "%u", v);
                return std::string(text);
            };
            fields += (fields.empty() ? "" : ", ") + name + " " + shown(Get(primary.raw, *m)) + " read as " + shown(m->value);
        }
        RK_LOG("%s%s does not hold together%s and no copy of it was found: read with its %s, as its other fields and "
               "the volume's layout give",
               kLogWarningPrefix, where.c_str(), why.c_str(), fields.c_str());
        return fs;
    };
    for (size_t i = 0; i < mends.size(); ++i)
        if (std::unique_ptr<CExt2FileSystem> fs = attempt({&mends[i]})) return fs;
    for (size_t i = 0; i < mends.size(); ++i)
        for (size_t j = i + 1; j < mends.size(); ++j)
            if (mends[i].at != mends[j].at)
                if (std::unique_ptr<CExt2FileSystem> fs = attempt({&mends[i], &mends[j]})) return fs;
    // A superblock of this kind that nothing can mend: the volume is lost, and said.
    if (primary.magic == kExtMagic)
        SayReadInPart("%s does not hold together%s and no copy of it was found: the volume is lost", where.c_str(),
                      why.c_str());
    throw CExt2BadSuperBlock();
}
