#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FilePSDAnalyser : public IRawFileAnalyser {
public:
    FilePSDAnalyser() : IRawFileAnalyser(RAW_TYPE_PSD) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('8');
    }
};
