#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// RTF documents, ended by the brace that closes the first group.
class FileRTFAnalyser : public IRawFileAnalyser {
public:
    FileRTFAnalyser() : IRawFileAnalyser(RAW_TYPE_RTF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x7B);
    }
};
