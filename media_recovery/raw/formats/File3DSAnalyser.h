#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// 3D Studio mesh files; the main chunk gives the length.
class File3DSAnalyser : public IRawFileAnalyser {
public:
    File3DSAnalyser() : IRawFileAnalyser(RAW_TYPE_3DS) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x4D);
    }
};
