#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Outlook Express folders.
class FileDBXAnalyser : public IRawFileAnalyser {
public:
    FileDBXAnalyser() : IRawFileAnalyser(RAW_TYPE_DBX) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0xCF);
        set.set(0x4A);
    }
};
