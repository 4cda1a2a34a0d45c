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
    IRealFATTable* Used() const { return first_ ? first_ : second_; }
    // The second copy beside a first that is used: kept only where the two differ, so that a link
    // one copy lost can be taken from the other.
    IRealFATTable* Other() const { return first_ ? second_ : nullptr; }

private:
    IRealFATTable* first_;
    IRealFATTable* second_;
};

// The pair a walk reads through: the first copy (when allowed), else the second; when neither holds
// sound chains, the first (else the second) whose entries are at least in range, since the walkers
// bound loops and cross-links. Beside a first copy the second is kept when it differs from it (see
// Other). Null only when memory runs out.
CDoubleFATTable* LoadFatPair(uint32_t variant, uint32_t sectorsPerFat, uint64_t firstStart, IStorageDevice* device,
                             bool useFirst = true, bool useSecond = true);
