#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Jet and ACE databases, walked page by page.
class FileMDBAnalyser : public IRawFileAnalyser {
public:
    FileMDBAnalyser() : IRawFileAnalyser(RAW_TYPE_MDB) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x00);
    }
};
