#include "filesystems/fat/CDoubleFATTable.h"

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
