#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// PDF documents, and illustration files built on PostScript.
class FilePDFAnalyser : public IRawFileAnalyser {
public:
    FilePDFAnalyser() : IRawFileAnalyser(RAW_TYPE_PDF) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x25);
    }
};
