#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FileEMFAnalyser : public IRawFileAnalyser {
public:
    FileEMFAnalyser() : IRawFileAnalyser(24) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set();
    }
};
