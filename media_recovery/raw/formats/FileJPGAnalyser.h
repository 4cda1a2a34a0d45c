#pragma once
#include <string>

#include "media_recovery/raw/IRawFileAnalyser.h"

class FileJPGAnalyser : public IRawFileAnalyser {
public:
    FileJPGAnalyser() : IRawFileAnalyser(RAW_TYPE_JPG) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    std::string GetInfoText() override { return text1_; }
    std::string GetInfoText2() override { return text2_; }
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0xFF);
    }

private:
    std::string text1_;  // camera model (or make)
    std::string text2_;  // date and time of capture
};
