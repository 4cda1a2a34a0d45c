#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// QuickTime movies: top-level atoms of the known kinds.
class FileMOVAnalyser : public IRawFileAnalyser {
public:
    FileMOVAnalyser() : IRawFileAnalyser(RAW_TYPE_MOV) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
};
