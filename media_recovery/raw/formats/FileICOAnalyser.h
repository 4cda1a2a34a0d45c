#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FileICOAnalyser : public IRawFileAnalyser {
public:
    FileICOAnalyser() : IRawFileAnalyser(RAW_TYPE_ICO) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x00);
    }
};
