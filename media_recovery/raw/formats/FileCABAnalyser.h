#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Cabinet archives; the header gives the length.
class FileCABAnalyser : public IRawFileAnalyser {
public:
    FileCABAnalyser() : IRawFileAnalyser(10) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x4D);
    }
};
