#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// QuickTime movies: top-level atoms of the known kinds.
class FileMOVAnalyser : public IRawFileAnalyser {
public:
    FileMOVAnalyser() : IRawFileAnalyser(RAW_TYPE_MOV) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    // Keyed on the "ftyp" behind the atom length.
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('f');
    }
    uint32_t GetLeadOffset() const override { return 4; }
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
};
