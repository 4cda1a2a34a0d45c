#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Early word-processor documents, sized from their headers.
class FileLowDocAnalyser : public IRawFileAnalyser {
public:
    FileLowDocAnalyser() : IRawFileAnalyser(RAW_TYPE_DOC) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0xDB);
        set.set(0x94);
        set.set(0xD0);
    }
};
