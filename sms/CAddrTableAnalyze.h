#pragma once
#include "sms/CLayoutTableAnalyze.h"

// The analyser of the "addr" table.
class CAddrTableAnalyze : public CLayoutTableAnalyze {
public:
    CAddrTableAnalyze() : CLayoutTableAnalyze(kAddrLayout) {}
};
