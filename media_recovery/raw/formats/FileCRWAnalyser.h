#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FileCRWAnalyser : public IRawFileAnalyser {
public:
    FileCRWAnalyser() : IRawFileAnalyser(RAW_TYPE_CRW) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('I');
    }
};
