#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FileCPTAnalyser : public IRawFileAnalyser {
public:
    FileCPTAnalyser() : IRawFileAnalyser(RAW_TYPE_CPT) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('C');
    }
};
