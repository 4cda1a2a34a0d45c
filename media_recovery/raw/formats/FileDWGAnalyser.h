#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Drawing files, by version.
class FileDWGAnalyser : public IRawFileAnalyser {
public:
    FileDWGAnalyser() : IRawFileAnalyser(22) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x41);
    }
};
