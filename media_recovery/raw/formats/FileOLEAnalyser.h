#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Compound documents (version 3, 512-byte sectors), sized by their FAT and typed by the names of
// their first directory entries.
class FileOLEAnalyser : public IRawFileAnalyser {
public:
    FileOLEAnalyser() : IRawFileAnalyser(RAW_TYPE_OLE) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0xD0);
    }
};
