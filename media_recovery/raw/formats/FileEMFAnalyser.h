#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FileEMFAnalyser : public IRawFileAnalyser {
public:
    FileEMFAnalyser() : IRawFileAnalyser(RAW_TYPE_EMF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set();
    }
};
