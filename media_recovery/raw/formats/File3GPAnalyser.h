#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// 3GPP and 3GPP2 movies, sized by the atom walk.
class File3GPAnalyser : public IRawFileAnalyser {
public:
    File3GPAnalyser() : IRawFileAnalyser(RAW_TYPE_3GP) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    // Keyed on the "ftyp" behind the atom length.
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('f');
    }
    uint32_t GetLeadOffset() const override { return 4; }
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
};
