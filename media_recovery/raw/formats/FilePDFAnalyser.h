#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"
#include "media_recovery/raw/RawReaders.h"

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

private:
    bool Ended(CandidateReader& r, RawHit& hit, uint64_t end);
};
