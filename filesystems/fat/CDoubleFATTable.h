#pragma once
#include "filesystems/fat/IFATTable.h"
#include "filesystems/fat/IRealFATTable.h"

// The two FAT copies of a volume; the second stands in only when the first is missing.
class CDoubleFATTable : public IFATTable {
public:
    // Takes ownership of both; either may be null.
    CDoubleFATTable(IRealFATTable* first, IRealFATTable* second);
    ~CDoubleFATTable() override;
    CDoubleFATTable(const CDoubleFATTable&) = delete;
    CDoubleFATTable& operator=(const CDoubleFATTable&) = delete;

    uint32_t NextCluster(uint32_t cluster) override;
    IRealFATTable* First() const { return first_; }
    IRealFATTable* Second() const { return second_; }

private:
    IRealFATTable* first_;
    IRealFATTable* second_;
};
