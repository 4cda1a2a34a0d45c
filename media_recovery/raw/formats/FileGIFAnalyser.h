#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FileGIFAnalyser : public IRawFileAnalyser {
public:
    FileGIFAnalyser() : IRawFileAnalyser(RAW_TYPE_GIF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('G');
    }
};
