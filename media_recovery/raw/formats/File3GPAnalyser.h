#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// 3GPP and 3GPP2 movies, sized by the atom walk.
class File3GPAnalyser : public IRawFileAnalyser {
public:
    File3GPAnalyser() : IRawFileAnalyser(RAW_TYPE_3GP) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
};
