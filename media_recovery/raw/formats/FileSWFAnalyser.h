#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Flash movies; the header gives the length.
class FileSWFAnalyser : public IRawFileAnalyser {
public:
    FileSWFAnalyser() : IRawFileAnalyser(RAW_TYPE_SWF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x46);
        set.set(0x43);
    }
};
