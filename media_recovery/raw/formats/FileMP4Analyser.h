#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// MPEG-4 movies of the isom, mp42 and M4V brands, sized by the atom walk.
class FileMP4Analyser : public IRawFileAnalyser {
public:
    FileMP4Analyser() : IRawFileAnalyser(RAW_TYPE_MP4) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    // Keyed on the "ftyp" behind the atom length (matched without regard to case).
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('f');
        set.set('F');
    }
    uint32_t GetLeadOffset() const override { return 4; }
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
};
