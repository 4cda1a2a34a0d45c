#pragma once
#include <cstdint>

#include "media_recovery/raw/NamingFileAnalyser.h"

// TIFF, and Nikon NEF files told apart by their camera model.
class FileTIFAnalyser : public NamingFileAnalyser {
public:
    FileTIFAnalyser() : NamingFileAnalyser(RAW_TYPE_TIF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('M');
        set.set('I');
    }

private:
    bool bigEndian_ = false;
    uint64_t stripOffset_ = 0;
    uint64_t largestEnd_ = 0;
    uint64_t stripBytes_ = 0;
};
