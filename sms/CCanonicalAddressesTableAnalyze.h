#pragma once
#include "sms/CLayoutTableAnalyze.h"

// The analyser of the "canonical_addresses" table.
class CCanonicalAddressesTableAnalyze : public CLayoutTableAnalyze {
public:
    CCanonicalAddressesTableAnalyze() : CLayoutTableAnalyze(kCanonicalAddressesLayout) {}
};
