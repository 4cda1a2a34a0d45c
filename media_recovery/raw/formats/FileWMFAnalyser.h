#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FileWMFAnalyser : public IRawFileAnalyser {
public:
    FileWMFAnalyser() : IRawFileAnalyser(RAW_TYPE_WMF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x01);
    }
};
