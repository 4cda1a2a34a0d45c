#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// MPEG-4 movies of the isom, mp42 and M4V brands, sized by the atom walk.
class FileMP4Analyser : public IRawFileAnalyser {
public:
    FileMP4Analyser() : IRawFileAnalyser(RAW_TYPE_MP4) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
};
