#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// POSIX and GNU tar archives, walked member by member.
class FileTARAnalyser : public IRawFileAnalyser {
public:
    FileTARAnalyser() : IRawFileAnalyser(RAW_TYPE_TAR) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    // Keyed on the "ustar" magic of the header block.
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('u');
    }
    uint32_t GetLeadOffset() const override { return 257; }
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
};
