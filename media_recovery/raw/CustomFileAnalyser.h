#pragma once
#include <string>
#include <vector>

#include "media_recovery/raw/IRawFileAnalyser.h"

// User-described headers; the collection is empty, so it never recognises anything.
class CCustomHeaderManage {
public:
    size_t Count() const { return headers_.size(); }

private:
    std::vector<std::string> headers_;
};

class CustomFileAnalyser : public IRawFileAnalyser {
public:
    CustomFileAnalyser() : IRawFileAnalyser(-1) {}
    bool ComputeSize(RawHit&, IStorageDevice*) override { return false; }
    bool IsHeader(const uint8_t*, RawHit&) override { return false; }
    void GetLeadBytes(LeadByteSet& set) const override { set.reset(); }

private:
    CCustomHeaderManage headers_;
};
