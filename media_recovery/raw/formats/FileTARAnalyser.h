#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// POSIX and GNU tar archives, walked member by member.
class FileTARAnalyser : public IRawFileAnalyser {
public:
    FileTARAnalyser() : IRawFileAnalyser(RAW_TYPE_TAR) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
};
