#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FilePNGAnalyser : public IRawFileAnalyser {
public:
    FilePNGAnalyser() : IRawFileAnalyser(RAW_TYPE_PNG) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x89);
    }
};
