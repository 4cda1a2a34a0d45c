#pragma once
#include <bitset>
#include <cstdint>
#include <string>

#include "sqlite_recovery/framework/IStorageDevice.h"
#include "media_recovery/raw/RawFileTypes.h"
#include "media_recovery/raw/RawHit.h"

// The values one byte of a format's header can have (the first byte unless the format keys on
// another); lets the searcher ask only the analysers that can possibly match a sector.
using LeadByteSet = std::bitset<256>;

// One file format of signature carving.
class IRawFileAnalyser {
public:
    explicit IRawFileAnalyser(int typeId = -1) : typeId_(typeId) {}
    virtual ~IRawFileAnalyser();
    // Works out the size of the candidate, reading through the device; false rejects it.
    virtual bool ComputeSize(RawHit& hit, IStorageDevice* device);
    // Whether the sector (at least 512 readable bytes) starts a file of this format.
    virtual bool IsHeader(const uint8_t* sector, RawHit& hit) = 0;
    virtual std::string GetInfoText() { return std::string(); }
    virtual std::string GetInfoText2() { return std::string(); }
    // Every value the byte at GetLeadOffset of an accepted sector may have; all 256 unless a
    // format narrows it.
    virtual void GetLeadBytes(LeadByteSet& set) const { set.set(); }
    // Where that byte lies in the sector: 0 unless the format's signature starts further in (a
    // signature behind a length field, say). Below 512.
    virtual uint32_t GetLeadOffset() const { return 0; }

    int GetTypeId() const { return typeId_; }

    IRawFileAnalyser(const IRawFileAnalyser&) = delete;
    IRawFileAnalyser& operator=(const IRawFileAnalyser&) = delete;

protected:
    int typeId_;
};
