#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// ASF containers (WMV, WMA): header, data and simple index objects.
class FileASFAnalyser : public IRawFileAnalyser {
public:
    FileASFAnalyser() : IRawFileAnalyser(RAW_TYPE_ASF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x30);
    }
};
