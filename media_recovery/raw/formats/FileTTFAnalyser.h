#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// TrueType fonts; the table directory gives the length.
class FileTTFAnalyser : public IRawFileAnalyser {
public:
    FileTTFAnalyser() : IRawFileAnalyser(RAW_TYPE_TTF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x00);
    }
};
