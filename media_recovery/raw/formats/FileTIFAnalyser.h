#pragma once
#include <cstdint>
#include <string>

#include "media_recovery/raw/IRawFileAnalyser.h"

// TIFF, and Nikon NEF files told apart by their camera model.
class FileTIFAnalyser : public IRawFileAnalyser {
public:
    FileTIFAnalyser() : IRawFileAnalyser(RAW_TYPE_TIF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    std::string GetInfoText() override { return text1_; }
    std::string GetInfoText2() override { return text2_; }
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('M');
        set.set('I');
    }

private:
    std::string text1_;
    std::string text2_;
    bool bigEndian_ = false;
    uint64_t stripOffset_ = 0;
    uint64_t largestEnd_ = 0;
    uint64_t stripBytes_ = 0;
};
