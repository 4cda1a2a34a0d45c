#include "filesystems/frame/CFATSearchedPartitionInfo.h"

#include <new>

CFATSearchedPartitionInfo::~CFATSearchedPartitionInfo() {}

CFATSearchedPartitionInfo* CFATSearchedPartitionInfo::Create(uint32_t bytesPerSector) {
    return new (std::nothrow) CFATSearchedPartitionInfo(bytesPerSector);
}

CFATSearchedPartitionInfo* CFATSearchedPartitionInfo::Clone() const {
    CFATSearchedPartitionInfo* copy = Create(sectorSize);
    if (!copy) return nullptr;
    copy->index = index;
    copy->kind = kind;
    copy->sectorsPerCluster = sectorsPerCluster;
    copy->dataStart = dataStart;
    copy->volumeStart = volumeStart;
    copy->volumeLength = volumeLength;
    copy->reservedSectors = reservedSectors;
    copy->sectorsPerFat = sectorsPerFat;
    copy->clusterCount = clusterCount;
    copy->root = root;
    copy->evidenceFlags = evidenceFlags;
    return copy;
}
