#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

class FileEMFAnalyser : public IRawFileAnalyser {
public:
    FileEMFAnalyser() : IRawFileAnalyser(RAW_TYPE_EMF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    // Keyed on the " EMF" signature at 40.
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(' ');
    }
    uint32_t GetLeadOffset() const override { return 40; }
};
