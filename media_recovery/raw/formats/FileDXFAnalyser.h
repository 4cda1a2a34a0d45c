#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// ASCII drawing exchange files, ended by their EOF marker.
class FileDXFAnalyser : public IRawFileAnalyser {
public:
    FileDXFAnalyser() : IRawFileAnalyser(RAW_TYPE_DXF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x20);
    }
};
