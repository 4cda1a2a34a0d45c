#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Compiled HTML help; the header gives the length.
class FileCHMAnalyser : public IRawFileAnalyser {
public:
    FileCHMAnalyser() : IRawFileAnalyser(RAW_TYPE_CHM) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x49);
    }
};
