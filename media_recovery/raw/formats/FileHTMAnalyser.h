#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// HTML pages, ended by their closing tag.
class FileHTMAnalyser : public IRawFileAnalyser {
public:
    FileHTMAnalyser() : IRawFileAnalyser(RAW_TYPE_HTM) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x3C);
    }
};
