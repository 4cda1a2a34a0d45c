#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FileBMPAnalyser : public IRawFileAnalyser {
public:
    FileBMPAnalyser() : IRawFileAnalyser(RAW_TYPE_BMP) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('B');
    }
};
