#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Standard MIDI files: the header chunk and its track chunks.
class FileMIDAnalyser : public IRawFileAnalyser {
public:
    FileMIDAnalyser() : IRawFileAnalyser(RAW_TYPE_MID) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x4D);
    }
};
