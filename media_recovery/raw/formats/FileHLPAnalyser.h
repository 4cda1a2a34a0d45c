#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Windows help files; the header gives the length.
class FileHLPAnalyser : public IRawFileAnalyser {
public:
    FileHLPAnalyser() : IRawFileAnalyser(RAW_TYPE_HLP) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x3F);
    }
};
