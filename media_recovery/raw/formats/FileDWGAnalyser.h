#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Drawing files, by version.
class FileDWGAnalyser : public IRawFileAnalyser {
public:
    FileDWGAnalyser() : IRawFileAnalyser(RAW_TYPE_DWG) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x41);
    }
};
