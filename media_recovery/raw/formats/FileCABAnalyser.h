#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Cabinet archives; the header gives the length.
class FileCABAnalyser : public IRawFileAnalyser {
public:
    FileCABAnalyser() : IRawFileAnalyser(RAW_TYPE_CAB) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x4D);
    }
};
