#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// Sun/NeXT audio; the header gives data offset and size.
class FileAUAnalyser : public IRawFileAnalyser {
public:
    FileAUAnalyser() : IRawFileAnalyser(RAW_TYPE_AU) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set(0x2E);
    }
};
