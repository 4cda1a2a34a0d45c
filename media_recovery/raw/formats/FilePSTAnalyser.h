#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Outlook personal folders, sized by version.
class FilePSTAnalyser : public IRawFileAnalyser {
public:
    FilePSTAnalyser() : IRawFileAnalyser(RAW_TYPE_PST) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x21);
    }
};
