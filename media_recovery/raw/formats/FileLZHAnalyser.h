#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// LHA archives with level-0 and level-1 headers.
class FileLZHAnalyser : public IRawFileAnalyser {
public:
    FileLZHAnalyser() : IRawFileAnalyser(RAW_TYPE_LZH) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
};
