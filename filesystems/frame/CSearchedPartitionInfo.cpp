#include "filesystems/frame/CSearchedPartitionInfo.h"

CSearchedPartitionInfo::CSearchedPartitionInfo(uint32_t bytesPerSector)
    : sectorSize(bytesPerSector != 0 && bytesPerSector % 512 == 0 ? bytesPerSector : 512) {}

CSearchedPartitionInfo::~CSearchedPartitionInfo() {}
