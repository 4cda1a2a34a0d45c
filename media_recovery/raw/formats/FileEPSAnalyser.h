#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FileEPSAnalyser : public IRawFileAnalyser {
public:
    FileEPSAnalyser() : IRawFileAnalyser(RAW_TYPE_EPS) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0xC5);
    }
};
