#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// FreeHand 11 drawings, ended by their trailer.
class FileFH11Analyser : public IRawFileAnalyser {
public:
    FileFH11Analyser() : IRawFileAnalyser(RAW_TYPE_FH11) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x1C);
    }
};
