#pragma once
#include "filesystems/fat/IRealFATTable.h"

class CFAT32Table : public IRealFATTable {
public:
    CFAT32Table(IStorageDevice* device, uint64_t startSector, uint32_t sectors);
    uint32_t NextCluster(uint32_t cluster) override;
    bool IsValid() override;
};
