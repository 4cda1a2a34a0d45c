#pragma once
#include "media_recovery/raw/NamingFileAnalyser.h"

class FileJPGAnalyser : public NamingFileAnalyser {
public:
    FileJPGAnalyser() : NamingFileAnalyser(RAW_TYPE_JPG) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0xFF);
    }
};
