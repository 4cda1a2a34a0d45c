#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// LHA archives with level-0 and level-1 headers.
class FileLZHAnalyser : public IRawFileAnalyser {
public:
    FileLZHAnalyser() : IRawFileAnalyser(RAW_TYPE_LZH) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    // Keyed on the "-lh" of the method behind the size and checksum bytes.
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('-');
    }
    uint32_t GetLeadOffset() const override { return 2; }
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
};
