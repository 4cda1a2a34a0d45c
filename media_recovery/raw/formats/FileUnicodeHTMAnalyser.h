#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// HTML pages in UTF-16LE with a byte-order mark.
class FileUnicodeHTMAnalyser : public IRawFileAnalyser {
public:
    FileUnicodeHTMAnalyser() : IRawFileAnalyser(RAW_TYPE_HTM) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0xFF);
    }
};
