#pragma once
#include "media_recovery/raw/NamingFileAnalyser.h"

// MPEG audio behind an ID3v2 tag: the tag, the frames and an ID3v1 trailer. Title and year name
// the carved file.
class FileMP3Analyser : public NamingFileAnalyser {
public:
    FileMP3Analyser() : NamingFileAnalyser(RAW_TYPE_MP3) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('I');
    }

    // Length in bytes of the frame whose header is at p (4 bytes), or 0 when it is no frame header.
    static uint32_t FrameLength(const uint8_t* p);
};
