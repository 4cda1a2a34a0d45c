#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// OneNote sections.
class FileONEAnalyser : public IRawFileAnalyser {
public:
    FileONEAnalyser() : IRawFileAnalyser(RAW_TYPE_ONE) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0xE4);
    }
};
