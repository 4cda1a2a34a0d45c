#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// gzip streams; their length is not in the header.
class FileGZAnalyser : public IRawFileAnalyser {
public:
    FileGZAnalyser() : IRawFileAnalyser(RAW_TYPE_GZ) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x1F);
    }
};
