#pragma once
#include <cstdint>

// Next-cluster values that every chain walker tests.
enum : uint32_t {
    FAT_CLUSTER_FREE = 0,               // free, outside the table, or no table
    FAT_CLUSTER_BAD = 0x0FFFFFF7,       // FAT16 and FAT32 bad cluster
    FAT12_CLUSTER_BAD = 0xFF7,          // a FAT12 table answers its own bad value
    FAT_CLUSTER_END = 0x0FFFFFF8,       // end of chain; anything from here up ends a chain
    FAT12_CLUSTER_END_FFF = 0xFFFFFFFF  // FAT12 end of chain written as 0xFFF
};

// The chain lookup the directory walkers use.
class IFATTable {
public:
    virtual ~IFATTable();
    virtual uint32_t NextCluster(uint32_t cluster) = 0;
};
