#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Money files; their end is not known, so a fixed length is taken.
class FileMNYAnalyser : public IRawFileAnalyser {
public:
    FileMNYAnalyser() : IRawFileAnalyser(RAW_TYPE_MNY) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    // Keyed on "MSISAM Database" behind the first four bytes.
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('M');
    }
    uint32_t GetLeadOffset() const override { return 4; }
};
