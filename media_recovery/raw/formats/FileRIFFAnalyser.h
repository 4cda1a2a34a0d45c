#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// RIFF containers: WAV, AVI, animated cursors and the CorelDRAW family, by form type.
class FileRIFFAnalyser : public IRawFileAnalyser {
public:
    FileRIFFAnalyser() : IRawFileAnalyser(RAW_TYPE_RIFF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    // WAV and AVI: the chunks, as far as they follow one another to the length the header gives.
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x52);
    }
};
