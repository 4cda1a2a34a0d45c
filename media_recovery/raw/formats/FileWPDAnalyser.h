#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// WordPerfect documents, presentations and graphics.
class FileWPDAnalyser : public IRawFileAnalyser {
public:
    FileWPDAnalyser() : IRawFileAnalyser(RAW_TYPE_WPD) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0xFF);
    }
};
