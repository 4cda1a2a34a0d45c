#include "filesystems/fat/CDoubleFATTable.h"

#include <new>

#include "sqlite_recovery/framework/Logger.h"

CDoubleFATTable::CDoubleFATTable(IRealFATTable* first, IRealFATTable* second) : first_(first), second_(second) {}

CDoubleFATTable::~CDoubleFATTable() {
    delete first_;
    delete second_;
}

uint32_t CDoubleFATTable::NextCluster(uint32_t cluster) {
    if (first_) return first_->NextCluster(cluster);
    if (second_) return second_->NextCluster(cluster);
    return FAT_CLUSTER_FREE;
}

CDoubleFATTable* LoadFatPair(uint32_t variant, uint32_t sectorsPerFat, uint64_t firstStart, IStorageDevice* device,
                             bool useFirst, bool useSecond) {
    const uint64_t secondStart = firstStart + sectorsPerFat;
    auto load = [&](bool use, uint64_t start, FatTableCheck check) {
        return use ? CreateFATTable(variant, sectorsPerFat, start, device, check) : nullptr;
    };
    IRealFATTable* first = load(useFirst, firstStart, FatTableCheck::Full);
    IRealFATTable* second = first ? nullptr : load(useSecond, secondStart, FatTableCheck::Full);
    if (!first && !second) {
        first = load(useFirst, firstStart, FatTableCheck::KeepBrokenChains);
        if (!first) second = load(useSecond, secondStart, FatTableCheck::KeepBrokenChains);
        if (first || second)
            RK_LOG("[FAT] no FAT copy at sector %llu holds sound chains; the %s copy is used as it stands",
                   static_cast<unsigned long long>(firstStart), first ? "first" : "second");
    }
    // A copy read in part: the other copy, whole and sound, stands in for it; else the other
    // gives what it holds of the sectors the first lost.
    if (first && first->MissedSectors() && useSecond) {
        IRealFATTable* other = load(true, secondStart, FatTableCheck::Full);
        if (other && other->MissedSectors() == 0) {
            delete first;
            first = nullptr;
            second = other;
        } else {
            delete other;
            other = load(true, secondStart, FatTableCheck::KeepBrokenChains);
            if (other) first->FillFrom(*other);
            delete other;
        }
    }
    // Copies that differ: one of them was damaged, and the walkers may take a link from the other.
    if (first && !second && useSecond) {
        second = load(true, secondStart, FatTableCheck::Later);
        if (second && (second->SameEntries(*first) || !second->IsValid())) {
            delete second;
            second = nullptr;
        } else if (second) {
            RK_LOG("[FAT] the two FAT copies at sector %llu differ", static_cast<unsigned long long>(firstStart));
        }
    }
    CDoubleFATTable* pair = new (std::nothrow) CDoubleFATTable(first, second);
    if (!pair) {
        delete first;
        delete second;
    }
    return pair;
}
