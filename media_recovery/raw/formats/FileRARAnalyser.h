#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// RAR archives of versions 1.5 to 4, walked block by block.
class FileRARAnalyser : public IRawFileAnalyser {
public:
    FileRARAnalyser() : IRawFileAnalyser(RAW_TYPE_RAR) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x52);
    }
};
